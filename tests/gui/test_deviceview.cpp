// The device list view on a real main window: row colours, check marks and the All box, column
// sorts, the type filter, the details panel, device pictures and the web links.
#include "devicefeed.h"
#include "ui_form.h"

#include "core/app/i18n.h"
#include "gui/app/colourscheme.h"
#include "gui/devices/devicelistdelegate.h"
#include "gui/devices/weblink.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

namespace {

bool Checked(TTestWindow& w, int row)
{
    return w.List()->model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

void AddThree(TTestWindow& w)
{
    w.Add({.TypeCode = 1, .Name = "Bravo", .MAC = "00:0A:59:00:00:0C", .PeerIP = "10.0.0.3", .IP = "192.168.2.10"});
    w.Add({.TypeCode = 2, .Name = "Alpha", .MAC = "00:0A:59:00:00:0A", .PeerIP = "10.0.0.1", .IP = "N/A"});
    w.Add({.TypeCode = 1, .Name = "Charlie", .MAC = "00:0A:59:00:00:0B", .PeerIP = "10.0.0.2", .IP = "192.168.1.20"});
}

// Clicks a row's line (not its check box), as the user chooses a device.
void ClickRow(TTestWindow& w, int row)
{
    QTableView* list = w.List();
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 60, rect.center().y()));
}

void Activate(TTestWindow& w)
{
    w.Form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.Form.get()));
}

} // namespace

class TestDeviceView : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { UseLanguage("en"); }

    void NewDevicesAreBlueFromTheSecondCycleOn()
    {
        TTestWindow w;
        AddThree(w);
        for (int r = 0; r < 3; ++r)
            QVERIFY2(!w.RowHasColour(r, kNewDeviceBlue), "first cycle: no blue row");
        QVERIFY(w.RowHasColour(1, Qt::black));

        // Second cycle: Alpha and Bravo answer again, Delta is new.
        Control<QAction>(w.Main(), "acFind")->trigger();
        w.Add({.TypeCode = 2, .Name = "Alpha", .MAC = "00:0A:59:00:00:0A", .PeerIP = "10.0.0.1", .IP = "N/A"});
        w.Add({.TypeCode = 1, .Name = "Bravo", .MAC = "00:0A:59:00:00:0C", .PeerIP = "10.0.0.3", .IP = "192.168.2.10"});
        w.Add({.TypeCode = 1, .Name = "Delta", .MAC = "00:0A:59:00:00:0D"});
        auto expectColours = [&](const char* when, int rows) {
            QCOMPARE(w.Names().size(), rows);
            for (int r = 0; r < rows; ++r) {
                const bool isNew = w.Names()[r] == QStringLiteral("Delta");
                if (w.HighlightedRow() == r) {
                    QVERIFY2(w.RowHasColour(r, kHighlightBackground) && w.RowHasColour(r, Qt::white), when);
                    QVERIFY2(!w.RowHasColour(r, kNewDeviceBlue), when);
                    continue;
                }
                QVERIFY2(w.RowHasColour(r, kNewDeviceBlue) == isNew, when);
                QVERIFY2(w.RowHasColour(r, Qt::black) == !isNew, when);
            }
        };
        expectColours("after registration", 3);
        w.ClickColumn(1);
        QCOMPARE(w.HighlightedRow(), 0);
        expectColours("after a sort", 3);
        QComboBox* filter = Control<QComboBox>(w.Main(), "DeviceFilter");
        filter->setCurrentIndex(filter->findText(QStringLiteral("Poseidon 2261")));
        emit filter->activated(filter->currentIndex());
        expectColours("after filtering", 2);
        // Highlighting the new device itself: white on the highlight colour, not blue.
        w.Form->SelectDevice(int(w.Names().indexOf(QStringLiteral("Delta"))));
        expectColours("new device highlighted", 2);
    }

    void AllBoxFollowsTheCheckMarks()
    {
        TTestWindow w;
        AddThree(w);
        QCheckBox* all = Control<QCheckBox>(w.Main(), "AllChecked");
        w.ClickCheck(0);
        QCOMPARE(all->checkState(), Qt::PartiallyChecked);
        w.ClickCheck(1);
        QCOMPARE(all->checkState(), Qt::PartiallyChecked);
        QCOMPARE(w.Panel()->CheckedRowCount(), 2);
        w.ClickCheck(2);
        QCOMPARE(all->checkState(), Qt::Checked);
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(all->checkState(), Qt::Unchecked);
        for (int r = 0; r < 3; ++r)
            QVERIFY(!Checked(w, r));

        // A click on a grayed box checks every row; the next click unchecks them.
        w.ClickCheck(1);
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(all->checkState(), Qt::Checked);
        QVERIFY(Checked(w, 0) && Checked(w, 1) && Checked(w, 2));
        QCOMPARE(w.Panel()->CheckedRowCount(), 3);
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(all->checkState(), Qt::Unchecked);
        QCOMPARE(w.Panel()->CheckedRowCount(), 0);

        // A new answer clears every check mark.
        w.ClickCheck(0);
        w.ClickCheck(2);
        w.Add({.Name = "Echo", .MAC = "00:0A:59:00:00:0E"});
        QCOMPARE(all->checkState(), Qt::Unchecked);
        QCOMPARE(w.Panel()->CheckedRowCount(), 0);
        for (int r = 0; r < 4; ++r)
            QVERIFY(!Checked(w, r));
    }

    void ColumnSortsShareOneDirection()
    {
        TTestWindow w;
        AddThree(w);
        w.ClickColumn(3);
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Charlie"), QStringLiteral("Bravo"), QStringLiteral("Alpha")}));
        QCOMPARE(w.HighlightedRow(), 0);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceIP")->text(), QStringLiteral("192.168.1.20"));
        QTest::keyClick(w.List(), Qt::Key_Down);  // the keyboard moves the highlight too
        QCOMPARE(w.HighlightedRow(), 1);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceIP")->text(), QStringLiteral("192.168.2.10"));

        TTestWindow v;
        AddThree(v);
        v.ClickColumn(1);
        QCOMPARE(v.Names(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie")}));
        v.ClickColumn(1);
        QCOMPARE(v.Names(), (QStringList{QStringLiteral("Charlie"), QStringLiteral("Bravo"), QStringLiteral("Alpha")}));
        v.ClickColumn(2);  // ascending again: MAC ...0A, ...0B, ...0C
        QCOMPARE(v.Names(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Charlie"), QStringLiteral("Bravo")}));

        TTestWindow u;
        AddThree(u);
        u.ClickColumn(1);
        u.ClickColumn(2);  // one click on Name, then MAC: descending
        QCOMPARE(u.Names(), (QStringList{QStringLiteral("Bravo"), QStringLiteral("Charlie"), QStringLiteral("Alpha")}));
        QCOMPARE(Control<QLineEdit>(u.Main(), "teDeviceName")->text(), QStringLiteral("Bravo"));
    }

    // The header's glyph shows the column sorted and the one direction; each click on any section
    // turns the direction round; a refill by a new answer shows DeviceList's order, no glyph.
    void HeaderSortsBothWaysWithOneDirection()
    {
        TTestWindow w;
        QHeaderView* header = w.Header();
        QVERIFY(!header->isSortIndicatorShown());
        w.ClickColumn(1);  // no devices: nothing happens
        QVERIFY(!header->isSortIndicatorShown());
        QVERIFY(!w.Panel()->SortAscending());
        AddThree(w);
        const struct {
            int Column;
            bool Ascending;
            QStringList Names;
        } clicks[] = {
            {1, true, {QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie")}},
            {1, false, {QStringLiteral("Charlie"), QStringLiteral("Bravo"), QStringLiteral("Alpha")}},
            {3, true, {QStringLiteral("Charlie"), QStringLiteral("Bravo"), QStringLiteral("Alpha")}},
            {0, false, {}},
            {2, true, {QStringLiteral("Alpha"), QStringLiteral("Charlie"), QStringLiteral("Bravo")}},
            {4, false, {}},
        };
        for (const auto& click : clicks) {
            w.ClickColumn(click.Column);
            QCOMPARE(w.Panel()->SortAscending(), click.Ascending);
            QVERIFY(header->isSortIndicatorShown());
            QCOMPARE(header->sortIndicatorSection(), click.Column);
            QCOMPARE(header->sortIndicatorOrder(), click.Ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
            if (click.Column == 0)  // by type, descending: the order of equal types is not defined
                QCOMPARE(w.Names().last(), QStringLiteral("Alpha"));
            else if (!click.Names.isEmpty())
                QCOMPARE(w.Names(), click.Names);
            QCOMPARE(w.HighlightedRow(), 0);
        }
        w.Add({.Name = "Delta", .MAC = "00:0A:59:00:00:0D"});
        QVERIFY(!header->isSortIndicatorShown());
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie"),
                                         QStringLiteral("Delta")}));
        w.ClickColumn(1);  // the direction goes on from the last click: ascending
        QVERIFY(w.Panel()->SortAscending());
        QCOMPARE(w.Names().first(), QStringLiteral("Alpha"));
    }

    void TypeFilterNarrowsAndCounts()
    {
        TTestWindow w;
        AddThree(w);
        QComboBox* filter = Control<QComboBox>(w.Main(), "DeviceFilter");
        filter->setCurrentIndex(filter->findText(QStringLiteral("Poseidon 2261")));
        emit filter->activated(filter->currentIndex());
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Bravo"), QStringLiteral("Charlie")}));
        QCOMPARE(w.HighlightedRow(), 0);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Bravo"));
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("2"));

        filter->setCurrentIndex(0);
        emit filter->activated(0);
        QCOMPARE(w.Names().size(), 3);
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("3"));

        // A sort after a filter shows every device, and the counter says so.
        filter->setCurrentIndex(filter->findText(QStringLiteral("Damocles 2404")));
        emit filter->activated(filter->currentIndex());
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("1"));
        w.ClickColumn(0);
        QCOMPARE(w.Names().size(), 3);
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("3"));
        QCOMPARE(filter->currentText(), QStringLiteral("Damocles 2404"));
    }

    void SearchNarrowsWithTheTypeFilter()
    {
        TTestWindow w;
        QLineEdit* search = Control<QLineEdit>(w.Main(), "teSearch");
        QVERIFY2(search->text().isEmpty(), "empty at start");
        QVERIFY(search->isClearButtonEnabled());
        AddThree(w);
        w.Add({.TypeCode = 2, .Name = "Delta", .MAC = "00:0A:59:00:00:0D", .PeerIP = "10.0.0.4", .FirmwareRev = "3.7"});
        QCheckBox* all = Control<QCheckBox>(w.Main(), "AllChecked");
        w.ClickCheck(0);
        QCOMPARE(all->checkState(), Qt::PartiallyChecked);

        // Typed as the user types: every character narrows the rows; the checked row is hidden
        // (its mark kept), and the All box counts the row shown.
        QTest::keyClicks(search, QStringLiteral("CHAR"));
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Charlie")});
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("1"));
        QCOMPARE(w.HighlightedRow(), 0);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QStringLiteral("Charlie"));
        QCOMPARE(all->checkState(), Qt::Unchecked);
        QCOMPARE(w.Panel()->CheckedRowCount(), 0);
        QVERIFY(!Checked(w, 0));

        // Any shown field: the MAC (other case), the address, the firmware revision.
        search->setText(QStringLiteral("59:00:00:0a"));
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Alpha")});
        search->setText(QStringLiteral("10.0.0."));
        QCOMPARE(w.Names().size(), 4);
        search->setText(QStringLiteral("168.2"));
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Bravo")});  // its configured address
        search->setText(QStringLiteral("3.7"));
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Delta")});

        // With the type filter: both narrow, in either order.
        QComboBox* filter = Control<QComboBox>(w.Main(), "DeviceFilter");
        filter->setCurrentIndex(filter->findText(QStringLiteral("Damocles 2404")));
        emit filter->activated(filter->currentIndex());
        QCOMPARE(w.Names(), QStringList{QStringLiteral("Delta")});
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("1"));
        search->clear();
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Delta")}));
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("2"));
        search->setText(QStringLiteral("nobody"));
        QCOMPARE(w.Names().size(), 0);
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("0"));
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(w.Panel()->CheckedRowCount(), 0);  // All over no rows checks nothing

        // "All" checks the shown rows only.
        filter->setCurrentIndex(0);
        emit filter->activated(0);
        search->setText(QStringLiteral("ha"));
        QCOMPARE(w.Names(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Charlie")}));
        QTest::mouseClick(all, Qt::LeftButton);
        QCOMPARE(all->checkState(), Qt::Checked);
        QCOMPARE(w.Panel()->CheckedRowCount(), 2);

        // A registration refills as the type filter's rules say: every device again, no row
        // checked; the search text stays in the field and still applies.
        w.Add({.TypeCode = 1, .Name = "Echo", .MAC = "00:0A:59:00:00:0E", .PeerIP = "10.0.0.5"});
        w.Add({.TypeCode = 1, .Name = "Shannon", .MAC = "00:0A:59:00:00:0F", .PeerIP = "10.0.0.6"});
        QCOMPARE(w.Names(),
                 (QStringList{QStringLiteral("Alpha"), QStringLiteral("Charlie"), QStringLiteral("Shannon")}));
        QCOMPARE(Control<QLabel>(w.Main(), "DeviceCounter")->text(), QStringLiteral("3"));
        QCOMPARE(search->text(), QStringLiteral("ha"));
        QCOMPARE(all->checkState(), Qt::Unchecked);
        search->clear();
        QCOMPARE(w.Names().size(), 6);
    }

    void DetailsShowMissingValuesReadOnly()
    {
        TTestWindow w;
        w.Add({.Name = "N/A", .Dhcp = 1, .HTTPPort = -1, .TelnetPort = 2323});
        QCOMPARE(Control<QLineEdit>(w.Main(), "teHTTPPort")->text(), QStringLiteral("N/A"));
        QVERIFY(Control<QLineEdit>(w.Main(), "teHTTPPort")->isReadOnly());
        QCOMPARE(Control<QLineEdit>(w.Main(), "teTelnetPort")->text(), QStringLiteral("2323"));
        QVERIFY(!Control<QLineEdit>(w.Main(), "teTelnetPort")->isReadOnly());
        QVERIFY(Control<QLineEdit>(w.Main(), "teDeviceName")->isReadOnly());
        QVERIFY(Control<QCheckBox>(w.Main(), "chbDhcp")->isChecked());
        QVERIFY(Control<QLineEdit>(w.Main(), "teDeviceDNS1")->isReadOnly());
        QVERIFY(Control<QLineEdit>(w.Main(), "teDeviceDNS2")->isReadOnly());
        QVERIFY(Control<QLineEdit>(w.Main(), "teHTTPPort")->palette().color(QPalette::Base) != Control<QLineEdit>(w.Main(), "teTelnetPort")->palette().color(QPalette::Base));

        // No DHCP value: the box is disabled and keeps its mark; the name servers follow the mark.
        w.Add({.Name = "Plain", .MAC = "00:0A:59:00:00:02", .Dhcp = -1, .DNS2 = "N/A"});
        w.Form->SelectDevice(w.Names().indexOf(QStringLiteral("Plain")));
        QVERIFY(!Control<QCheckBox>(w.Main(), "chbDhcp")->isEnabled());
        QVERIFY(Control<QCheckBox>(w.Main(), "chbDhcp")->isChecked());
        QVERIFY(!Control<QLineEdit>(w.Main(), "teDeviceName")->isReadOnly());
        QVERIFY(!Control<QLineEdit>(w.Main(), "teHTTPPort")->isReadOnly());
        QVERIFY(Control<QLineEdit>(w.Main(), "teDeviceDNS1")->isReadOnly());
        w.Add({.Name = "Off", .MAC = "00:0A:59:00:00:03", .Dhcp = 0, .DNS2 = "N/A"});
        w.Form->SelectDevice(w.Names().indexOf(QStringLiteral("Off")));
        QVERIFY(Control<QCheckBox>(w.Main(), "chbDhcp")->isEnabled() && !Control<QCheckBox>(w.Main(), "chbDhcp")->isChecked());
        QVERIFY(!Control<QLineEdit>(w.Main(), "teDeviceDNS1")->isReadOnly());
        QVERIFY2(Control<QLineEdit>(w.Main(), "teDeviceDNS2")->isReadOnly(), "N/A stays locked");
    }

    void PictureFailuresKeepThePreviousPicture()
    {
        TTestWindow w;
        w.Add({.TypeCode = 3, .Name = "First"});  // no picture: registration reports nothing
        QVERIFY(Dialogs::TakeShownBoxes().empty());
        QVERIFY(Control<QLabel>(w.Main(), "tiDeviceImg")->pixmap().isNull());

        w.Add({.TypeCode = 1, .Name = "Pictured", .MAC = "00:0A:59:00:00:02"});
        w.Add({.TypeCode = 4, .Name = "Damaged", .MAC = "00:0A:59:00:00:03"});
        w.Form->SelectDevice(w.Names().indexOf(QStringLiteral("Pictured")));
        const qint64 shown = Control<QLabel>(w.Main(), "tiDeviceImg")->pixmap().cacheKey();
        QCOMPARE(Control<QLabel>(w.Main(), "tiDeviceImg")->pixmap().size(), QSize(250, 220));

        for (const char* name : {"First", "Damaged"}) {
            const QTableView* list = w.List();
            const QRect row = list->visualRect(list->model()->index(int(w.Names().indexOf(QLatin1String(name))), 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
            QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), QLatin1String(name));
            QCOMPARE(Control<QLabel>(w.Main(), "tiDeviceImg")->pixmap().cacheKey(), shown);
            const auto boxes = Dialogs::TakeShownBoxes();
            QCOMPARE(boxes.size(), size_t(1));
            QVERIFY(boxes[0].Kind == Dialogs::TBoxKind::Error);
            const std::string file = std::string(name) == "First" ? "/images/No Picture.png" : "/images/Broken Picture.png";
            QVERIFY2(boxes[0].Text.find(file) != std::string::npos, boxes[0].Text.c_str());
        }
    }

    // A long field is cut with an ellipsis in its own column, whole in its tool tip and for a
    // screen reader; it never moves or widens another column.
    void ALongNameIsCutInItsOwnColumn()
    {
        TTestWindow w;
        w.Add({.Name = "A"});
        w.Add({.Name = "B", .MAC = "00:0A:59:00:00:02"});
        QTableView* list = w.List();
        QHeaderView* header = w.Header();
        std::vector<int> before;
        for (int c = 0; c < header->count(); ++c)
            before.push_back(header->sectionViewportPosition(c));
        const int scroll = list->horizontalScrollBar()->maximum();

        const QString longName = QStringLiteral("Kotelna a strojovna v patře 3, teploměr!");  // 40 characters
        QCOMPARE(longName.size(), 40);
        w.Add({.Name = longName.toStdString(), .MAC = "00:0A:59:00:00:03", .FirmwareRev = std::string(60, '9')});
        QApplication::processEvents();
        for (int c = 0; c < header->count(); ++c)
            QCOMPARE(header->sectionViewportPosition(c), before[size_t(c)]);
        QCOMPARE(list->horizontalScrollBar()->maximum(), scroll);

        const int row = int(w.Names().indexOf(longName));
        const QModelIndex name = list->model()->index(row, 1);
        QStyleOptionViewItem option;
        option.initFrom(list->viewport());
        option.font = list->font();
        option.rect = list->visualRect(name);
        option.widget = list;
        const QString shown = TDeviceListDelegate::ShownText(option, name);
        QVERIFY2(shown.endsWith(QChar(0x2026)) && shown.size() < longName.size(), qPrintable(shown));
        QVERIFY(longName.startsWith(shown.chopped(1)));
        QVERIFY(QFontMetrics(list->font()).horizontalAdvance(shown) <= option.rect.width());
        // The MAC column's cell begins where its section does, right of the name's.
        QCOMPARE(list->visualRect(list->model()->index(row, 2)).left(), header->sectionViewportPosition(2));

        // The tool tip of the cut name holds it whole; a name shown whole has none.
        const auto tipAt = [&](const QModelIndex& cell) {
            QToolTip::hideText();
            if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000))
                return QStringLiteral("a tool tip that stays");
            const QPoint at = list->visualRect(cell).center();
            QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
            QApplication::sendEvent(list->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tipAt(name), longName);
        QCOMPARE(tipAt(list->model()->index(int(w.Names().indexOf(QStringLiteral("A"))), 1)), QString());
        QCOMPARE(tipAt(list->model()->index(row, 4)), QString(60, QLatin1Char('9')));
        QToolTip::hideText();
    }

    // A screen reader reads each cell: the field whole (a cut one too), the check mark in the first.
    void EachCellHasItsAccessibleText()
    {
        TTestWindow w;
        const QString longName = QStringLiteral("Kotelna a strojovna v patře 3, teploměr");
        w.Add({.TypeCode = 2, .Name = longName.toStdString(), .MAC = "00:0A:59:00:00:0A", .PeerIP = "10.0.0.9",
               .FirmwareRev = "4.2"});
        w.ClickCheck(0);
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(w.List());
        QVERIFY(table && table->tableInterface());
        QCOMPARE(table->tableInterface()->columnCount(), 5);
        const QStringList expected = {QStringLiteral("Damocles 2404"), longName, QStringLiteral("00:0A:59:00:00:0A"),
                                      QStringLiteral("10.0.0.9"), QStringLiteral("4.2")};
        const QStringList captions = {QStringLiteral("Type"), QStringLiteral("Name"), QStringLiteral("MAC"),
                                      QStringLiteral("IP"), QStringLiteral("Firmware Rev.")};
        for (int c = 0; c < 5; ++c) {
            QAccessibleInterface* cell = table->tableInterface()->cellAt(0, c);
            QVERIFY(cell);
            QCOMPARE(cell->text(QAccessible::Name), expected[c]);
            QCOMPARE(w.List()->model()->headerData(c, Qt::Horizontal).toString(), captions[c]);
        }
        QVERIFY(table->tableInterface()->cellAt(0, 0)->state().checked);
        QVERIFY(!table->tableInterface()->cellAt(0, 1)->state().checkable);
    }

    // The keys go on from the device shown, also after an answer has taken the highlight away;
    // the row they act on carries a mark while the list has the focus.
    void KeysGoOnFromTheShownDevice()
    {
        TTestWindow w;
        AddThree(w);
        w.Add({.Name = "Delta", .MAC = "00:0A:59:00:00:0D", .PeerIP = "10.0.0.4"});
        w.Add({.Name = "Echo", .MAC = "00:0A:59:00:00:0E", .PeerIP = "10.0.0.5"});
        Activate(w);
        QTableView* list = w.List();
        ClickRow(w, 2);
        const QString shown = w.Names().at(2);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), shown);

        // An answer clears the highlight; Tab into the list, Down: the row after the shown one.
        w.Add({.Name = "Foxtrot", .MAC = "00:0A:59:00:00:0F", .PeerIP = "10.0.0.6"});
        QCOMPARE(w.HighlightedRow(), -1);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), shown);
        Control<QLineEdit>(w.Main(), "teSearch")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(Control<QLineEdit>(w.Main(), "teSearch"), Qt::Key_Backtab);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));
        QCOMPARE(list->currentIndex().row(), w.Names().indexOf(shown));
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(w.HighlightedRow(), w.Names().indexOf(shown) + 1);
        QCOMPARE(Control<QLineEdit>(w.Main(), "teDeviceName")->text(), w.Names().at(w.HighlightedRow()));

        // The list keeps the focus while an answer comes: Up goes on from the shown device.
        const QString second = Control<QLineEdit>(w.Main(), "teDeviceName")->text();
        w.Add({.Name = "Golf", .MAC = "00:0A:59:00:00:10", .PeerIP = "10.0.0.7"});
        QCOMPARE(w.HighlightedRow(), -1);
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(w.HighlightedRow(), w.Names().indexOf(second) - 1);
        QTest::keyClick(list, Qt::Key_Space);  // checks the row the keys act on
        QVERIFY(Checked(w, w.HighlightedRow()));
        QCOMPARE(w.Panel()->CheckedRowCount(), 1);

        // The focus mark: the current row looks different with the focus in the list and without.
        const QRect row = list->visualRect(list->currentIndex());
        const QImage focused = list->viewport()->grab(row).toImage();
        Control<QLineEdit>(w.Main(), "teSearch")->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(!list->hasFocus());
        QVERIFY(list->viewport()->grab(row).toImage() != focused);
    }

    // The picture, the globe and the logo are links the keyboard reaches: Tab stops at them,
    // Space and Enter open their pages, and a frame shows which has the focus.
    void LinksWorkFromTheKeyboard()
    {
        std::vector<std::string> opened;
        SetWebPageOpener([&](const std::string& url) { opened.push_back(url); });
        TTestWindow w;
        Activate(w);
        QLabel* const links[] = {Control<QLabel>(w.Main(), "tiDeviceImg"), Control<QLabel>(w.Main(), "Image2"), Control<QLabel>(w.Main(), "LogoImage")};
        for (QLabel* link : links) {
            QVERIFY(link->focusPolicy() & Qt::TabFocus);
            link->setFocus(Qt::TabFocusReason);
            QTest::keyClick(link, Qt::Key_Space);  // no device shown: the device's links rest
        }
        QCOMPARE(opened.size(), size_t(1));  // only the maker's page
        opened.clear();

        w.Add({.Name = "Web", .PeerIP = "10.0.0.7", .HTTPPort = 8080});
        for (QLabel* link : links) {
            link->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(link->hasFocus());
            const QImage marked = link->grab().toImage();
            QTest::keyClick(link, Qt::Key_Space);
            QTest::keyClick(link, Qt::Key_Return);
            QTest::keyClick(link, Qt::Key_Enter, Qt::KeypadModifier);
            QTest::keyClick(link, Qt::Key_A);  // other keys do nothing
            Control<QLineEdit>(w.Main(), "teSearch")->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(!link->hasFocus());
            QVERIFY2(link->grab().toImage() != marked, qPrintable(link->objectName()));
        }
        SetWebPageOpener({});
        QCOMPARE(opened.size(), size_t(9));
        QCOMPARE(opened.at(0), std::string("http://10.0.0.7"));
        QCOMPARE(opened.at(3), std::string("http://10.0.0.7:8080"));
        QCOMPARE(opened.at(6), opened.at(8));
        QVERIFY(opened.at(6) != opened.at(0));
    }

    void WebLinksOpenTheDevicePages()
    {
        std::vector<std::string> opened;
        SetWebPageOpener([&](const std::string& url) { opened.push_back(url); });
        TTestWindow w;
        QTest::mouseClick(Control<QLabel>(w.Main(), "tiDeviceImg"), Qt::LeftButton);
        QVERIFY2(opened.empty(), "no device selected");
        w.Add({.Name = "Web", .PeerIP = "10.0.0.7", .HTTPPort = 8080});
        QTest::mouseClick(Control<QLabel>(w.Main(), "tiDeviceImg"), Qt::LeftButton);
        QTest::mouseClick(Control<QLabel>(w.Main(), "Image2"), Qt::LeftButton);
        w.Add({.Name = "NoPort", .MAC = "00:0A:59:00:00:02", .PeerIP = "10.0.0.8", .HTTPPort = -1});
        w.Form->SelectDevice(w.Names().indexOf(QStringLiteral("NoPort")));
        QTest::mouseClick(Control<QLabel>(w.Main(), "Image2"), Qt::LeftButton);
        // A port above 32767 is held as a negative 16-bit number; the link names the real port.
        w.Add({.Name = "HighPort", .MAC = "00:0A:59:00:00:03", .PeerIP = "10.0.0.9", .HTTPPort = int16_t(40000)});
        w.Form->SelectDevice(w.Names().indexOf(QStringLiteral("HighPort")));
        QTest::mouseClick(Control<QLabel>(w.Main(), "Image2"), Qt::LeftButton);
        SetWebPageOpener({});
        QCOMPARE(opened, (std::vector<std::string>{"http://10.0.0.7", "http://10.0.0.7:8080", "http://10.0.0.8",
                                                   "http://10.0.0.9:40000"}));
    }
};

QTEST_MAIN(TestDeviceView)
#include "test_deviceview.moc"
