#include "gui/config/writepreview.h"

#include "core/http/preview.h"
#include "gui/config/previewdialog.h"

QDialog* OpenWritePreview(QWidget* parent, const TWriteRequest& request, const std::vector<TDeviceResult>& fetched,
                          std::function<void(TWriteChoice)> write)
{
    TPreviewInput input;
    input.Devices = request.Devices;
    for (size_t i = 0; i < request.Devices.size(); ++i) {
        TDeviceIdentity identity = BatchIdentity(request.Devices[i]);
        if (i < request.Addresses.size() && !request.Addresses[i].empty())
            identity.IP = request.Addresses[i];
        input.Identities.push_back(identity);
    }
    input.Fetched = fetched;
    input.Fetched.resize(request.Devices.size());
    if (request.Kind == TWriteKind::Restore)
        input.Targets = BackupTargets(request.Devices, request.File);
    else
        input.Targets = {PreviewTargetOfFile(request.File)};
    input.ExtraIdentityPaths = request.ExtraIdentity;
    // A history version goes back as its device's own body (the restore sends no backup file).
    const QByteArray version = request.Kind == TWriteKind::Version ? input.Targets.front().Bytes : QByteArray();
    auto* dialog = new TPreviewDialog(std::move(input), request.Kind == TWriteKind::Common, parent);
    dialog->setObjectName(QStringLiteral("PreviewDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, dialog, [dialog, version, write = std::move(write)] {
        const TPreview& preview = dialog->Preview();
        LogVersionsBeforeWrite(preview);
        TWriteChoice choice{PreviewBodies(preview), PreviewRefusals(preview)};
        if (!version.isEmpty()) {
            choice.Bodies.resize(preview.Devices.size());
            for (QByteArray& body : choice.Bodies)
                if (body.isEmpty())
                    body = version;
        }
        write(std::move(choice));
    });
    dialog->open();
    return dialog;
}
