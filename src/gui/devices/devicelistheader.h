// The device list's column header: a click on a section sorts by its column, and the keyboard
// sorts too: Tab stops at the header, Left and Right choose a section (framed while the header
// has the focus), Space and Enter sort by it.
#pragma once
#include <QHeaderView>

class TDeviceListHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TDeviceListHeader(QWidget* parent = nullptr);
    // The section the keys act on.
    int KeySection() const { return Key; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int Key = 0;
};
