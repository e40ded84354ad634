// Web links through the desktop's default browser.
#include "gui/devices/weblink.h"

#include "gui/app/colourscheme.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <QUrl>

namespace {
// The frame a focused link shows: a child over the whole of the link that lets every mouse event
// through to it.
class TFocusMark : public QWidget {
public:
    explicit TFocusMark(QWidget* link) : QWidget(link)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(link->rect());
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        DrawFocusMark(painter, rect(), palette().color(QPalette::WindowText));
    }
};

class TClickLink : public QObject {
public:
    TClickLink(QWidget* widget, std::function<void()> onClick)
        : QObject(widget), OnClick(std::move(onClick)), Mark(new TFocusMark(widget))
    {
        widget->setFocusPolicy(Qt::TabFocus);  // a click opens the page and leaves the focus where it was
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || !widget->rect().contains(mouse->position().toPoint()))
                return false;
            break;
        }
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter)
                return false;
            break;
        }
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            Mark->setVisible(widget->hasFocus());
            Mark->raise();
            return false;
        case QEvent::Resize:
            Mark->setGeometry(widget->rect());
            return false;
        default:
            return false;
        }
        // A resting (disabled) link does nothing.
        if (widget->isEnabled())
            OnClick();
        return true;
    }

private:
    std::function<void()> OnClick;
    QWidget* Mark;
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
