// Message boxes and file dialogs of the program, with the test seam described in dialogs.h.
#include "gui/app/dialogs.h"
#include "gui/app/qtext.h"

#include "core/app/i18n.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <deque>

namespace Dialogs {
namespace {
bool g_automatic = false;
std::deque<bool> g_answers;
std::deque<std::string> g_fileNames;
std::string g_fileFolder;
bool g_fileSaves = false;
std::deque<int> g_fileTypes;
std::vector<TShownBox> g_shown;
QSize g_desktop;

bool Box(QWidget* parent, TBoxKind kind, const std::string& text)
{
    if (g_automatic) {
        g_shown.push_back({kind, text});
        if (kind != TBoxKind::Confirm && kind != TBoxKind::Warning)
            return true;
        bool yes = true;
        if (!g_answers.empty()) {
            yes = g_answers.front();
            g_answers.pop_front();
        }
        return yes;
    }
    switch (kind) {
    case TBoxKind::Error:
        QMessageBox::critical(parent, Q(_("Error")), Q(text), QMessageBox::Ok);
        return true;
    case TBoxKind::Information:
        QMessageBox::information(parent, Q(_("Information")), Q(text), QMessageBox::Ok);
        return true;
    case TBoxKind::Confirm:
    case TBoxKind::Warning:
        break;
    }
    QMessageBox box(kind == TBoxKind::Warning ? QMessageBox::Warning : QMessageBox::Question,
                    Q(kind == TBoxKind::Warning ? _("Warning") : _("Confirm")), Q(text), QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(Q(_("&Yes")), QMessageBox::YesRole);
    QPushButton* no = box.addButton(Q(_("&No")), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);  // closing the box (Esc, the title bar) answers No
    box.exec();
    return box.clickedButton() == yes;
}

enum class TFileDialog { Open, Save, Any };

std::string FileName(TFileDialog kind, QWidget* parent, const std::string& title, const std::string& filter,
                     const std::string& folder)
{
    if (g_automatic) {
        g_fileFolder = folder;
        g_fileSaves = kind == TFileDialog::Save;
        std::string name;
        if (!g_fileNames.empty()) {
            name = g_fileNames.front();
            g_fileNames.pop_front();
        }
        return name;
    }
    if (kind == TFileDialog::Any) {
        QFileDialog dialog(parent, Q(title), Q(folder), Q(QtFilter(filter)));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().first().toStdString();
    }
    // The name is used as typed: no extension is added and replacing is not asked about here.
    const QString path = kind == TFileDialog::Save
        ? QFileDialog::getSaveFileName(parent, Q(title), Q(folder), Q(QtFilter(filter)), nullptr,
                                       QFileDialog::DontConfirmOverwrite)
        : QFileDialog::getOpenFileName(parent, Q(title), Q(folder), Q(QtFilter(filter)));
    return path.toStdString();
}
} // namespace

void Error(QWidget* parent, const std::string& text) { Box(parent, TBoxKind::Error, text); }
void Information(QWidget* parent, const std::string& text) { Box(parent, TBoxKind::Information, text); }
bool Confirm(QWidget* parent, const std::string& text) { return Box(parent, TBoxKind::Confirm, text); }
bool Warning(QWidget* parent, const std::string& text) { return Box(parent, TBoxKind::Warning, text); }

std::string OpenFileName(QWidget* parent, const std::string& title, const std::string& filter,
                         const std::string& folder)
{
    return FileName(TFileDialog::Open, parent, title, filter, folder);
}

std::string SaveFileName(QWidget* parent, const std::string& title, const std::string& filter,
                         const std::string& folder)
{
    return FileName(TFileDialog::Save, parent, title, filter, folder);
}

std::string AnyFileName(QWidget* parent, const std::string& title, const std::string& filter,
                        const std::string& folder)
{
    return FileName(TFileDialog::Any, parent, title, filter, folder);
}

TSaveChoice SaveFileChoice(QWidget* parent, const std::string& title, const std::string& filter,
                           const std::string& folder)
{
    if (g_automatic) {
        TSaveChoice choice{FileName(TFileDialog::Save, parent, title, filter, folder), 0};
        if (!g_fileTypes.empty()) {
            choice.Type = g_fileTypes.front();
            g_fileTypes.pop_front();
        }
        return choice;
    }
    const QStringList types = Q(QtFilter(filter)).split(QStringLiteral(";;"));
    // "CSV file (*.csv)" -> "csv": the extension a bare name gets.
    auto suffixOf = [](const QString& type) {
        const qsizetype dot = type.indexOf(QStringLiteral("*."));
        return dot < 0 ? QString() : type.mid(dot + 2).section(QLatin1Char(' '), 0, 0).remove(QLatin1Char(')'));
    };
    QFileDialog dialog(parent, Q(title), Q(folder));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(types);
    dialog.setDefaultSuffix(suffixOf(types.value(0)));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, suffixOf](const QString& type) { dialog.setDefaultSuffix(suffixOf(type)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return {dialog.selectedFiles().first().toStdString(),
            std::max(0, int(types.indexOf(dialog.selectedNameFilter())))};
}

QSize DesktopSize()
{
    if (g_desktop.isValid())
        return g_desktop;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        return screen->size();
    return {800, 600};
}

QRect DesktopArea()
{
    if (g_desktop.isValid())
        return {QPoint(0, 0), g_desktop};
    if (QScreen* screen = QGuiApplication::primaryScreen())
        return screen->availableGeometry();
    return {0, 0, 800, 600};
}

QPoint WindowPosition(QSize desktop, QSize window)
{
    const int left = desktop.width() <= 800 ? 0 : (desktop.width() - window.width()) / 2;
    const int top = desktop.height() > 600 ? (desktop.height() - window.height() - 30) / 2 : 0;
    return {std::max(0, left), std::max(0, top)};
}

QPoint DesktopPosition(QSize window)
{
    QPoint origin;
    if (!g_desktop.isValid())
        if (QScreen* screen = QGuiApplication::primaryScreen())
            origin = screen->geometry().topLeft();
    return origin + WindowPosition(DesktopSize(), window);
}

std::string QtFilter(const std::string& filter)
{
    std::string out;
    size_t pos = 0;
    while (pos < filter.size()) {
        const size_t bar = filter.find('|', pos);
        if (bar == std::string::npos) {  // a lone pattern without a description
            out += (out.empty() ? "" : ";;") + filter.substr(pos);
            break;
        }
        const size_t end = filter.find('|', bar + 1);
        const std::string description = filter.substr(pos, bar - pos);
        const std::string patterns = filter.substr(bar + 1, end == std::string::npos ? end : end - bar - 1);
        std::string qtPatterns;
        for (char c : patterns)
            qtPatterns += (c == ';') ? ' ' : c;
        if (!out.empty())
            out += ";;";
        out += description + " (" + qtPatterns + ")";
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    return out;
}

void SetAutomatic(bool on) { g_automatic = on; }
bool Automatic() { return g_automatic; }
void QueueAnswer(bool yes) { g_answers.push_back(yes); }
void QueueFileName(const std::string& path) { g_fileNames.push_back(path); }
std::string LastFileFolder() { return g_fileFolder; }
bool LastFileDialogSaves() { return g_fileSaves; }
void QueueFileType(int type) { g_fileTypes.push_back(type); }
std::vector<TShownBox> TakeShownBoxes()
{
    std::vector<TShownBox> out;
    out.swap(g_shown);
    return out;
}
void SetDesktopSize(QSize size) { g_desktop = size; }

} // namespace Dialogs
