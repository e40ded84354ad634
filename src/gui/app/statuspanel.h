// One panel of the main window's status bar: a sunken frame holding one line of text.
//
// Every log line is shown here at once, while the command that logs it still holds the GUI
// thread, so a panel paints itself alone: straight into the window's backing store, leaving
// whatever else of the window waits for painting (a device list just refilled) to the event
// loop, as a control with a window of its own would. It covers its whole area, keeps its size
// whatever the text (the status bar is never laid out again), and skips the paint when the
// text shown is already the one asked for.
#pragma once
#include <QString>
#include <QWidget>

class QPainter;

class TStatusPanel : public QWidget {
    Q_OBJECT
    // The caption, translated with the window like a label's.
    Q_PROPERTY(QString text READ text WRITE setText)
public:
    TStatusPanel(int width, QWidget* parent = nullptr);

    QString text() const { return Text; }
    // Shows the text when the window is next painted.
    void setText(const QString& text);
    // Shows the text now, before returning.
    void ShowNow(const QString& text);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Paint(QPainter& p);
    bool PaintAlone();

    QString Text;
    QString Painted;        // the text the last paint showed
    bool PaintedOk = false;  // false until painted, and after a change of font or colours
};
