#include "gui/config/previewdialog.h"

#include "core/app/colours.h"
#include "core/app/i18n.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "gui/app/colourscheme.h"
#include "gui/app/dialogs.h"
#include "gui/app/qtext.h"
#include "gui/app/translate.h"
#include "gui/config/differencestable.h"
#include "ui_previewdialog.h"

#include <QHeaderView>

TPreviewDialog::TPreviewDialog(TPreviewInput input, bool keepIdentityBox, QWidget* parent)
    : QDialog(parent), Ui_(std::make_unique<Ui::TPreviewDialog>()), Input(std::move(input))
{
    Ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Ui_->chkKeepIdentity->setVisible(keepIdentityBox);
    if (keepIdentityBox) {
        // Ticked when the common file would change identity places of a device that was read.
        Input.KeepIdentity = false;
        Ui_->chkKeepIdentity->setChecked(BuildPreview(Input).ChangesIdentity);
        Input.KeepIdentity = Ui_->chkKeepIdentity->isChecked();
        connect(Ui_->chkKeepIdentity, &QCheckBox::toggled, this, [this](bool on) {
            Input.KeepIdentity = on;
            MakePreview();
        });
    } else
        Input.KeepIdentity = false;
    connect(Ui_->btnWrite, &QPushButton::clicked, this, &QDialog::accept);
    connect(Ui_->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(Ui_->tblDevices, &QTableWidget::currentCellChanged, this, [this](int row) { ShowDevice(row); });
    Ui_->Splitter->setSizes({200, 300});
    TranslateComponent(this);
    MakePreview();
    move(Dialogs::DesktopPosition(size()));
}

TPreviewDialog::~TPreviewDialog() = default;

void TPreviewDialog::MakePreview()
{
    Shown = BuildPreview(Input);
    QTableWidget* table = Ui_->tblDevices;
    const int current = std::max(0, table->currentRow());
    QSignalBlocker quiet(table);
    table->clear();
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels({Q(_("Device")), Q(_("Identity places that would change"))});
    table->verticalHeader()->hide();
    table->setRowCount(int(Shown.Devices.size()));
    const QColor red = SchemeColour(kBlockingRed);
    for (int r = 0; r < int(Shown.Devices.size()); ++r) {
        const TPreviewDevice& d = Shown.Devices[size_t(r)];
        // Its name, address and what would change (or why it could not be read).
        auto* summary = new QTableWidgetItem(Q(PreviewDeviceSummary(d)));
        std::string identity;
        for (const TConfigDifference& change : d.IdentityChanges) {
            if (!identity.empty())
                identity += "; ";
            identity += SafeText(IdentityChangeText(change, d.Identity));
        }
        auto* places = new QTableWidgetItem(Q(identity));
        places->setForeground(red);
        places->setToolTip(places->text());
        if (!d.Read || !d.Write)
            summary->setForeground(red);
        table->setItem(r, 0, summary);
        table->setItem(r, 1, places);
    }
    // The device lines whole, the identity changes in the rest of the width (whole in their hint).
    table->horizontalHeader()->setStretchLastSection(false);
    table->resizeColumnToContents(0);
    table->horizontalHeader()->setStretchLastSection(true);
    const unsigned long unreadable = static_cast<unsigned long>(Shown.Unreadable);
    Ui_->lblSummary->setText(
        unreadable ? Q(Format(_n("%lu device could not be read", "%lu devices could not be read", unreadable), unreadable))
                   : QString());
    table->setCurrentCell(std::min(current, table->rowCount() - 1), 0);
    ShowDevice(table->currentRow());
}

void TPreviewDialog::ShowDevice(int row)
{
    if (row < 0 || size_t(row) >= Shown.Devices.size()) {
        ShowDifferences(Ui_->tblDifferences, {}, "Now", "Written");
        return;
    }
    ShowDifferences(Ui_->tblDifferences, DifferenceRows(Shown.Devices[size_t(row)].Differences), "Now", "Written");
}
