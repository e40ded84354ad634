// Web links through the desktop's default browser.
#include "gui/devices/weblink.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QWidget>
#include <QUrl>

namespace {
class TClickLink : public QObject {
public:
    TClickLink(QWidget* widget, std::function<void()> onClick) : QObject(widget), OnClick(std::move(onClick))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* widget = static_cast<QWidget*>(watched);
        if (mouse->button() != Qt::LeftButton || !widget->rect().contains(mouse->position().toPoint()))
            return false;
        OnClick();
        return true;
    }

private:
    std::function<void()> OnClick;
};

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

void OnClick(QWidget* widget, std::function<void()> onClick)
{
    new TClickLink(widget, std::move(onClick));  // owned by the widget
}
