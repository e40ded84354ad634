// Web links through the desktop's default browser.
#include "gui/devices/weblink.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
TWebPageOpener& Opener()
{
    static TWebPageOpener opener;
    return opener;
}
} // namespace

void OpenWebPage(const std::string& url)
{
    if (Opener()) {
        Opener()(url);
        return;
    }
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void SetWebPageOpener(TWebPageOpener opener)
{
    Opener() = std::move(opener);
}
