// Shared by the device-area window tests: devices fed to the main window as the answer
// handlers would hand them over, and a window running in a folder of its own.
#pragma once
#include "controls.h"
#include "gui/app/devicelistpanel.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "gui/devices/devicelistmodel.h"
#include "core/devices/family.h"
#include "core/devices/product.h"
#include "ui_form.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QHeaderView>
#include <QTableView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>

class TFakeDevice : public TProduct {
public:
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
};

// Codes 1 and 2 have pictures in the window's folder, 3 has none, 4 a damaged one.
inline const TProductTable kTestProducts = {"1=Poseidon+2261", "2=Damocles+2404", "3=No+Picture", "4=Broken+Picture"};

struct TDeviceSpec {
    int TypeCode = 1;
    std::string Name = "Device";
    std::string MAC = "00:0A:59:00:00:01";
    std::string PeerIP = "10.0.0.1";
    std::string IP = "";  // "" = the same as PeerIP
    std::string FirmwareRev = "1.0";
    int16_t Dhcp = 0;
    int16_t HTTPPort = 80;
    int16_t TelnetPort = 23;
    std::string DNS1 = "10.0.0.254";
    std::string DNS2 = "10.0.0.253";
    bool CanSetDefault = true;
    bool CanRestart = true;
};

inline std::unique_ptr<TProduct> MakeDevice(const TDeviceSpec& s)
{
    auto d = std::make_unique<TFakeDevice>();
    TProductInfo& i = d->Info;
    i.TypeCode = s.TypeCode;
    i.Name = s.Name;
    i.MAC = s.MAC;
    i.PeerIP = s.PeerIP;
    i.IP = s.IP.empty() ? s.PeerIP : s.IP;
    i.Mask = "255.255.0.0";
    i.Gateway = "10.0.0.254";
    i.DNS1 = s.DNS1;
    i.DNS2 = s.DNS2;
    i.Dhcp = s.Dhcp;
    i.FirmwareRev = s.FirmwareRev;
    i.HTTPPort = s.HTTPPort;
    i.TelnetPort = s.TelnetPort;
    i.CanSetDefault = s.CanSetDefault;
    i.CanRestart = s.CanRestart;
    return d;
}

// A device of the family named "Orvex", as the watch and site files know units by MAC and family.
class TNamedFamilyDevice : public TFakeDevice {
public:
    const TFamily& Family() const override
    {
        static const TFamily family = [] {
            TFamily f;
            f.Name = "Orvex";
            return f;
        }();
        return family;
    }
};
inline std::unique_ptr<TProduct> MakeOrvexUnit(const TDeviceSpec& spec)
{
    auto device = std::make_unique<TNamedFamilyDevice>();
    device->Info = MakeDevice(spec)->Info;
    return device;
}

// A shown main window whose folder holds two device pictures and a damaged one. Boxes are
// answered automatically and recorded.
class TTestWindow {
public:
    explicit TTestWindow(const QStringList& arguments = {})
    {
        Dialogs::SetAutomatic(true);
        Dialogs::TakeShownBoxes();
        const QString images = Dir.path() + QStringLiteral("/images/");
        QDir().mkpath(images);
        for (const char* name : {"Poseidon 2261.png", "Damocles 2404.png"})
            QFile::copy(QStringLiteral(PYXET_SOURCE_DIR "/images/") + QLatin1String(name), images + QLatin1String(name));
        QFile broken(images + QStringLiteral("Broken Picture.png"));
        broken.open(QIODevice::WriteOnly);
        broken.write("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
        broken.close();
        Form = std::make_unique<TPyxetForm>(arguments, Dir.path().toStdString() + "/");
        Form->show();
        QApplication::processEvents();
    }
    ~TTestWindow() { Form.reset(); }

    // The window whose controls the tests find by name.
    const TPyxetForm& Main() const { return *Form; }
    // The device list, its panel and its header, as the window names them.
    QTableView* List() const { return Control<QTableView>(*Form, "DeviceListBox"); }
    TDeviceListPanel* Panel() const { return Control<TDeviceListPanel>(*Form, "DeviceListPanel"); }
    TDeviceListModel* Model() const { return qobject_cast<TDeviceListModel*>(List()->model()); }
    QHeaderView* Header() const { return Control<QHeaderView>(*Form, "DeviceListHeader"); }
    // A click on the header's section of a column (0 Type, 1 Name, 2 MAC, 3 IP, 4 Firmware Rev.).
    void ClickColumn(int column)
    {
        QHeaderView* header = Header();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    // The rectangle of a whole row, every column.
    QRect RowRect(int row) const
    {
        const QAbstractItemModel* m = List()->model();
        return List()->visualRect(m->index(row, 0)).united(List()->visualRect(m->index(row, m->columnCount() - 1)));
    }
    void Add(const TDeviceSpec& spec)
    {
        Form->AddDevice(MakeDevice(spec), kTestProducts, nullptr);
        QApplication::processEvents();
    }
    QStringList Rows() const
    {
        QStringList rows;
        const QAbstractItemModel* m = List()->model();
        for (int r = 0; r < m->rowCount(); ++r)
            rows << m->index(r, 0).data(TDeviceListModel::LineRole).toString();
        return rows;
    }
    // The shown rows' device names, in view order.
    QStringList Names() const
    {
        QStringList names;
        const QAbstractItemModel* m = List()->model();
        for (int r = 0; r < m->rowCount(); ++r)
            names << QString::fromStdString(
                reinterpret_cast<TProduct*>(m->index(r, 0).data(TDeviceListModel::DeviceRole).value<quintptr>())->Info.Name);
        return names;
    }
    // A click on the row's check box, as the user does it.
    void ClickCheck(int row)
    {
        QTableView* list = List();
        const QModelIndex index = list->model()->index(row, 0);
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualRect(index);
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    }
    // The names of the checked rows in list order.
    QStringList CheckedNames() const
    {
        QStringList names;
        const QStringList shown = Names();
        for (int r = 0; r < shown.size(); ++r)
            if (List()->model()->index(r, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked)
                names << shown[r];
        return names;
    }
    int HighlightedRow() const
    {
        const QModelIndexList rows = List()->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().row() : -1;
    }
    // Whether any pixel of the row's text area has exactly this colour (bold glyph stems are
    // drawn fully covered, so the pen colour shows unblended).
    bool RowHasColour(int row, const QColor& colour) const
    {
        QTableView* list = List();
        const QRect rect = RowRect(row);
        const QImage image = list->viewport()->grab().toImage();
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left() + 20; x < std::min(rect.right(), image.width()); ++x)
                if (image.pixelColor(x, y).rgb() == colour.rgb())
                    return true;
        return false;
    }
    QStringList FilterEntries() const
    {
        QStringList entries;
        QComboBox* filter = Control<QComboBox>(*Form, "DeviceFilter");
        for (int i = 0; i < filter->count(); ++i)
            entries << filter->itemText(i);
        return entries;
    }

    QTemporaryDir Dir;
    std::unique_ptr<TPyxetForm> Form;
};
