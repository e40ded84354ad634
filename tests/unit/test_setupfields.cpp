// The table of the setup fields: each field reads and writes its own value in a device's record
// and in the setup values, its key is the column the export and the plan files write, and the
// sets of carried fields the families build from it.
#include "core/devices/setupfields.h"

#include "core/devices/product.h"
#include "core/discovery/export.h"
#include "core/protocols/hwg/family.h"
#include "core/protocols/orvex/family.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// A record whose nine setup values all differ.
TProductInfo Record()
{
    TProductInfo info;
    info.Name = "Boiler";
    info.IP = "10.0.0.1";
    info.Mask = "255.0.0.0";
    info.Gateway = "10.0.0.254";
    info.DNS1 = "10.0.0.53";
    info.DNS2 = "10.0.0.54";
    info.Dhcp = 1;
    info.HTTPPort = 8080;
    info.TelnetPort = -1;
    return info;
}

// The nine values of a record, read by their names.
std::vector<std::string> Named(const TProductInfo& i)
{
    return {i.Name, i.IP, i.Mask, i.Gateway, i.DNS1, i.DNS2,
            std::to_string(i.Dhcp), std::to_string(i.HTTPPort), std::to_string(i.TelnetPort)};
}

std::vector<std::string> Named(const TSetupValues& v)
{
    return {v.Name, v.IP, v.Mask, v.Gateway, v.DNS1, v.DNS2, std::to_string(v.Dhcp), v.HTTPPort, v.TelnetPort};
}

TEST(SetupFields, EachFieldReadsAndWritesItsOwnValue)
{
    ASSERT_EQ(SetupFields().size(), kSetupFieldCount);
    const TProductInfo info = Record();
    TSetupValues values;
    for (const TSetupFieldDef& field : SetupFields()) {
        const size_t k = static_cast<size_t>(field.Id);
        ASSERT_EQ(&SetupFieldDef(field.Id), &field) << "the table is in TSetupField order";
        EXPECT_EQ(FieldValue(info, field.Id), Named(info)[k]) << field.Key;
        SetFieldValue(values, field.Id, Named(info)[k]);
    }
    EXPECT_EQ(Named(values), Named(info)) << "every field written to its own place in the setup values";
    for (const TSetupFieldDef& field : SetupFields()) {
        const size_t k = static_cast<size_t>(field.Id);
        EXPECT_EQ(FieldValue(values, field.Id), Named(info)[k]) << field.Key;
        // Writing one field changes that field alone.
        TProductInfo changed = Record();
        const std::string value = field.Kind == TFieldKind::Flag || field.Kind == TFieldKind::Port ? "2" : "x";
        SetFieldValue(changed, field.Id, value);
        std::vector<std::string> expected = Named(Record());
        expected[k] = value;
        EXPECT_EQ(Named(changed), expected) << field.Key;
    }
}

TEST(SetupFields, NumbersAreStoredInTheirLow16Bits)
{
    TProductInfo info;
    SetFieldValue(info, TSetupField::HTTPPort, "65536");
    SetFieldValue(info, TSetupField::TelnetPort, "40000");
    SetFieldValue(info, TSetupField::Dhcp, "65537");
    EXPECT_EQ(info.HTTPPort, 0);
    EXPECT_EQ(info.TelnetPort, -25536);
    EXPECT_EQ(info.Dhcp, 1);
    EXPECT_EQ(FieldNumber(info, TSetupField::TelnetPort), -25536);
    EXPECT_EQ(FieldValue(info, TSetupField::TelnetPort), "-25536");
}

TEST(SetupFields, KeysAreTheExportedColumnsInTheirOrder)
{
    const std::vector<std::string>& columns = ExportFieldNames();
    auto last = columns.begin();
    for (const TSetupFieldDef& field : SetupFields()) {
        const auto at = std::find(columns.begin(), columns.end(), field.Key);
        ASSERT_NE(at, columns.end()) << field.Key;
        EXPECT_GT(at, last) << field.Key << " keeps the record's order";
        last = at;
    }
    EXPECT_EQ(std::string(FieldKey(TSetupField::HTTPPort)), "HTTPPort");
    EXPECT_EQ(FieldKind(TSetupField::Dhcp), TFieldKind::Flag);
    EXPECT_TRUE(IsNumberField(TSetupField::TelnetPort));
    EXPECT_FALSE(IsNumberField(TSetupField::Gateway));
}

TEST(SetupFields, CarriedSets)
{
    TSentFields sent;
    sent.LeaveOut(TFieldKind::Address);
    for (const TSetupFieldDef& field : SetupFields())
        EXPECT_EQ(sent[field.Id], field.Kind != TFieldKind::Address) << field.Key;
    const TSentFields noName = TSentFields::AllBut({TSetupField::Name});
    EXPECT_FALSE(noName[TSetupField::Name]);
    EXPECT_TRUE(noName[TSetupField::IP]);
    const TSentFields both = sent & noName;
    EXPECT_FALSE(both[TSetupField::Name] || both[TSetupField::Mask]);
    EXPECT_TRUE(both[TSetupField::HTTPPort] && both[TSetupField::Dhcp]);
    EXPECT_EQ(OrvexFamily().Carries, TSentFields()) << "the Orvex update can carry every field";
    EXPECT_EQ(HwgFamily().Carries,
              TSentFields::AllBut({TSetupField::Name, TSetupField::DNS1, TSetupField::DNS2, TSetupField::TelnetPort}));
}

}  // namespace
