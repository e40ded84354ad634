// Shared by the lab's picture programs (help_screenshots, colour_screenshots): the program folder
// filled from the build with a settings file and a firmware image, a device's row by name, and the main window with its secondary windows
// and HTTP module handed over as the program's start-up does.
#pragma once
#include "../gui/controls.h"
#include "core/devices/product.h"
#include "core/http/http.h"
#include "gui/app/form.h"
#include "gui/http/login.h"
#include "gui/http/upgrade.h"
#include "gui/log/logrep.h"
#include "gui/windows/about.h"
#include "gui/windows/progressinfo.h"
#include "ui_form.h"

#include <QFile>
#include <QProcess>
#include <QTableView>
#include <QString>

#include <memory>

// Copies a folder of the build (pictures, catalogues, help files) into the program folder.
inline bool CopyTree(const QString& from, const QString& to)
{
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), from, to}) == 0;
}

// The program folder `dir` as the pictures need it: the build's pictures and catalogues, a
// Pyxet.ini of `ini`, and a firmware image "firmware.kri" of 96 KiB.
inline bool FillAppFolder(const QString& dir, const QByteArray& ini)
{
    if (!CopyTree(QStringLiteral(PYXET_BIN_DIR "/images"), dir) || !CopyTree(QStringLiteral(PYXET_BIN_DIR "/locale"), dir))
        return false;
    QFile settings(dir + QStringLiteral("/Pyxet.ini"));
    QFile image(dir + QStringLiteral("/firmware.kri"));
    return settings.open(QIODevice::WriteOnly) && settings.write(ini) == ini.size() && image.open(QIODevice::WriteOnly)
           && image.write(QByteArray(96 * 1024, '\x5a')) == 96 * 1024;
}

inline int RowOf(const TPyxetForm& form, const char* name)
{
    const QAbstractItemModel* m = Control<QTableView>(form, "DeviceListBox")->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        const auto* d = reinterpret_cast<TProduct*>(m->index(r, 0).data(Qt::UserRole + 1).value<quintptr>());
        if (d->Info.Name == name)
            return r;
    }
    return -1;
}

// The main window of the program folder `appDir`, shown, with its windows; the main window is
// destroyed last.
struct TShotWindows {
    std::unique_ptr<TPyxetForm> Form;
    std::unique_ptr<TUpgradeForm> Upgrade = std::make_unique<TUpgradeForm>();
    std::unique_ptr<TProgressInfoForm> Progress = std::make_unique<TProgressInfoForm>();
    std::unique_ptr<TLoginForm> Login = std::make_unique<TLoginForm>();
    std::unique_ptr<TAboutBox> About = std::make_unique<TAboutBox>();
    std::unique_ptr<TLogActionForm> LogForm = std::make_unique<TLogActionForm>();
    std::unique_ptr<THTTPModule> Http = std::make_unique<THTTPModule>();

    explicit TShotWindows(const QString& appDir)
        : Form(std::make_unique<TPyxetForm>(QStringList{}, appDir.toStdString()))
    {
        Form->LogReport = LogForm.get();
        Form->About = About.get();
        Form->Upgrade = Upgrade.get();
        Form->Progress = Progress.get();
        Form->Login = Login.get();
        Form->Http = Http.get();
        Form->show();
    }
    ~TShotWindows() { Close(); }
    // Destroys the windows, the main window last.
    void Close()
    {
        Http.reset();
        LogForm.reset();
        About.reset();
        Login.reset();
        Progress.reset();
        Upgrade.reset();
        Form.reset();
    }
};
