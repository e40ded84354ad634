// The device list as JSON and CSV: field names and order, escaping and quoting of any text a
// device may send, and the export file's name and type.
#include "core/discovery/export.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TExportDevice Sample()
{
    TExportDevice d;
    TProductInfo& i = d.Info;
    i.TypeCode = 65;
    i.TypeName = "Poseidon2 3266";
    i.MAC = "00:0A:59:00:10:03";
    i.Name = "Kotelna – teploměr č. 2";
    i.PeerIP = "10.77.2.12";
    i.IP = "10.77.2.12";
    i.Mask = "255.255.0.0";
    i.Gateway = "10.77.0.254";
    i.DNS1 = "N/A";
    i.DNS2 = "N/A";
    i.Dhcp = -1;
    i.FirmwareRev = "3.1.0";
    i.HTTPPort = -1;
    i.TelnetPort = 23;
    i.CanSetDefault = true;
    i.CanRestart = false;
    d.Family = "HWG";
    d.Line = "Poseidon2 3266       Kotelna – teploměr č. 2      00:0A:59:00:10:03   10.77.2.12        3.1.0";
    d.IPConflict = true;
    return d;
}

}  // namespace

TEST(Export, FieldNamesAreTheJsonKeysInOrder)
{
    EXPECT_EQ(ExportFieldNames(),
              (std::vector<std::string>{"TypeCode", "TypeName", "MAC", "Name", "PeerIP", "IP", "Mask", "Gateway",
                                        "DNS1", "DNS2", "Dhcp", "FirmwareRev", "HTTPPort", "TelnetPort",
                                        "CanSetDefault", "CanRestart", "Family", "Line", "IPConflict"}));
}

TEST(Export, JsonIsOneObjectALineWithTypedValues)
{
    EXPECT_EQ(FormatDeviceList({}, TExportFormat::Json), "[]\n");

    TExportDevice other = Sample();
    other.Info.Name = "say \"hi\"\\\t\x01\xff";  // quotes, backslash, controls, a byte that is not UTF-8
    other.IPConflict = false;
    const std::string text = FormatDeviceList({Sample(), other}, TExportFormat::Json);
    ASSERT_EQ(text.substr(0, 2), "[\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);  // "[", two objects, "]"
    // Compact, the keys in alphabetical order: the type code's number next to the type's name.
    EXPECT_NE(text.find("\"TypeCode\":65,\"TypeName\":\"Poseidon2 3266\"}"), std::string::npos);
    EXPECT_EQ(text.find(": "), std::string::npos);

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonArray array = doc.array();
    ASSERT_EQ(array.size(), 2);
    const QJsonObject first = array[0].toObject();
    QStringList keys;
    for (const std::string& name : ExportFieldNames())
        keys << QString::fromStdString(name);
    EXPECT_EQ(first.keys().size(), keys.size());
    for (const QString& key : keys)
        EXPECT_TRUE(first.contains(key)) << key.toStdString();
    EXPECT_EQ(first[QLatin1String("TypeCode")].toInt(), 65);
    EXPECT_EQ(first[QLatin1String("Name")].toString(), QStringLiteral("Kotelna – teploměr č. 2"));
    EXPECT_EQ(first[QLatin1String("Dhcp")].toInt(), -1);
    EXPECT_EQ(first[QLatin1String("HTTPPort")].toInt(), -1);
    EXPECT_TRUE(first[QLatin1String("CanSetDefault")].isBool() && first[QLatin1String("CanSetDefault")].toBool());
    EXPECT_TRUE(first[QLatin1String("IPConflict")].isBool() && first[QLatin1String("IPConflict")].toBool());
    EXPECT_EQ(first[QLatin1String("Family")].toString(), QStringLiteral("HWG"));
    const QJsonObject second = array[1].toObject();
    EXPECT_EQ(second[QLatin1String("Name")].toString(), QStringLiteral("say \"hi\"\\\t\x01\uFFFD"));
    EXPECT_FALSE(second[QLatin1String("IPConflict")].toBool());
}

TEST(Export, CsvFieldsAreQuotedWhenTheyMustBe)
{
    const struct {
        const char* In;
        const char* Out;
        const char* Why;
    } cases[] = {
        {"Boiler", "Boiler", "plain text stays bare"},
        {"", "", "an empty field stays empty"},
        {"a b", "a b", "inner blanks need no quotes"},
        {"a,b", "\"a,b\"", "a comma would split the field"},
        {"say \"hi\"", "\"say \"\"hi\"\"\"", "quotes are doubled inside quotes"},
        {"two\r\nlines", "\"two\r\nlines\"", "a line break inside quotes stays in the field"},
        {"one\nline", "\"one\nline\"", "a bare LF too"},
        {"Type     ", "\"Type     \"", "trailing blanks (the padded line) kept from trimming readers"},
        {" lead", "\" lead\"", "leading blanks as well"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CsvField(c.In), c.Out) << c.Why;
}

TEST(Export, CsvHasAHeaderAndOneRecordADevice)
{
    const std::string header =
        "TypeCode,TypeName,MAC,Name,PeerIP,IP,Mask,Gateway,DNS1,DNS2,Dhcp,FirmwareRev,HTTPPort,TelnetPort,"
        "CanSetDefault,CanRestart,Family,Line,IPConflict\r\n";
    EXPECT_EQ(FormatDeviceList({}, TExportFormat::Csv), header);

    TExportDevice d = Sample();
    d.Info.Name = "Hall, \"east\"";
    d.Line = "short";
    EXPECT_EQ(FormatDeviceList({d}, TExportFormat::Csv),
              header + "65,Poseidon2 3266,00:0A:59:00:10:03,\"Hall, \"\"east\"\"\",10.77.2.12,10.77.2.12,255.255.0.0,"
                       "10.77.0.254,N/A,N/A,-1,3.1.0,-1,23,true,false,HWG,short,true\r\n");
    d.Info.Name = "bad \xc3";  // cut UTF-8: mended, so the file stays UTF-8
    EXPECT_NE(FormatDeviceList({d}, TExportFormat::Csv).find(",bad \xef\xbf\xbd,"), std::string::npos);
}

TEST(Export, FileTypeAndName)
{
    EXPECT_EQ(ExportFormatOfType(0), TExportFormat::Csv);
    EXPECT_EQ(ExportFormatOfType(1), TExportFormat::Json);
    EXPECT_EQ(ExportFormatOfType(-1), TExportFormat::Csv);  // no type reported: the first one
    EXPECT_EQ(ExportFileName("/tmp/devices", TExportFormat::Csv), "/tmp/devices.csv");
    EXPECT_EQ(ExportFileName("/tmp/devices", TExportFormat::Json), "/tmp/devices.json");
    EXPECT_EQ(ExportFileName("/tmp/devices.txt", TExportFormat::Json), "/tmp/devices.txt");  // as typed
    EXPECT_EQ(ExportFileName("/tmp/v1.2/devices", TExportFormat::Csv), "/tmp/v1.2/devices.csv");
    EXPECT_EQ(ExportFileName("", TExportFormat::Csv), "");  // cancelled
}
