// What the compare dialog shows of a compare: the rows with and without the values held alike,
// the rows as text for the clipboard, and the drift groups' titles in both languages and their
// plural forms.
#include "core/app/i18n.h"
#include "core/config/compareview.h"

#include <gtest/gtest.h>

namespace {

TConfigElement Element(const std::string& name, const std::string& text,
                       std::vector<TConfigAttribute> attributes = {}, std::vector<TConfigElement> children = {})
{
    TConfigElement e;
    e.Name = name;
    e.Text = text;
    e.Attributes = std::move(attributes);
    e.Children = std::move(children);
    return e;
}

TConfigAttribute Attribute(const std::string& name, const std::string& value)
{
    TConfigAttribute a;
    a.Name = name;
    a.Value = value;
    return a;
}

TConfigDocument Document(const std::string& community, const std::string& high)
{
    TConfigDocument doc;
    doc.Ok = true;
    doc.Root = Element("setup", "",
                       {},
                       {Element("name", "Alpha"),
                        Element("snmp", "", {}, {Element("community", community)}),
                        Element("sensors", "", {},
                                {Element("sensor", "", {Attribute("id", "1"), Attribute("high", "30")}),
                                 Element("sensor", "", {Attribute("id", "2"), Attribute("high", high)})})});
    return doc;
}

class CompareView : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitTranslation(PYXET_BIN_DIR "/");
        UseLanguage("en");
    }
    void TearDown() override { UseLanguage("en"); }
};

}  // namespace

TEST_F(CompareView, RowsWithTheValuesHeldAlike)
{
    const TConfigDocument left = Document("public", "40"), right = Document("private", "40");
    const std::vector<TConfigDifference> differences = {
        {"/setup/snmp/community", TDifferenceKind::Changed, "public", "private", false}};
    EXPECT_EQ(CompareRows(left, right, differences, false).size(), 1u) << "differences only";
    const std::vector<TCompareRow> all = CompareRows(left, right, differences, true);
    std::vector<std::string> paths;
    for (const TCompareRow& row : all)
        paths.push_back(row.Difference.Path + (row.Equal ? " =" : " !"));
    // In the left document's order, the differing path once (as the difference), last.
    EXPECT_EQ(paths, (std::vector<std::string>{"/setup/name =", "/setup/sensors/sensor[id=1]/@id =",
                                               "/setup/sensors/sensor[id=1]/@high =", "/setup/sensors/sensor[id=2]/@id =",
                                               "/setup/sensors/sensor[id=2]/@high =", "/setup/snmp/community !"}));
    EXPECT_EQ(all[0].Difference.Left, "Alpha");
    EXPECT_EQ(all[0].Difference.Right, "Alpha");

    // A value the right side holds otherwise is never shown as held alike, even when the compare
    // spelled its path another way.
    const std::vector<TCompareRow> other = CompareRows(left, Document("public", "45"), {}, true);
    for (const TCompareRow& row : other)
        EXPECT_NE(row.Difference.Path, "/setup/sensors/sensor[id=2]/@high");
}

TEST_F(CompareView, RowsAsText)
{
    const std::vector<TCompareRow> rows = {
        {{"/setup/name", TDifferenceKind::Changed, "Alpha", "Common", true}, false},
        {{"/setup/port", TDifferenceKind::Changed, "80", "80", false}, true},
        {{"/setup/extra", TDifferenceKind::OnlyRight, "", "1", false}, false},
    };
    EXPECT_EQ(CompareRowsText(rows), "Path\tLeft\tRight\tDifference\n"
                                     "/setup/name\tAlpha\tCommon\t" + DifferenceKindText(TDifferenceKind::Changed) + ", identity\n"
                                     "/setup/port\t80\t80\tequal\n"
                                     "/setup/extra\t\t1\t" + DifferenceKindText(TDifferenceKind::OnlyRight) + "\n");
}

TEST_F(CompareView, DriftGroupTitlesInTheirPluralForms)
{
    const TConfigDifference community{"/setup/snmp/community", TDifferenceKind::Changed, "public", "private", false};
    const TConfigDifference port{"/setup/snmp/port", TDifferenceKind::Changed, "161", "162", false};
    TDriftGroup match{std::vector<size_t>(34), {}};
    TDriftGroup one{{0}, {community}};
    TDriftGroup five{std::vector<size_t>(5), {community, port, community}};
    EXPECT_EQ(DriftGroupTitle(match), "34 match");
    EXPECT_EQ(DriftGroupTitle(TDriftGroup{{0}, {}}), "1 matches");
    EXPECT_EQ(DriftGroupTitle(one), "1 differs in /setup/snmp/community");
    EXPECT_EQ(DriftGroupTitle(five), "5 differ in /setup/snmp/community, /setup/snmp/port") << "each path once";
    EXPECT_EQ(UnreadableTitle(1), "1 could not be read");

    UseLanguage("cs");
    EXPECT_EQ(DriftGroupTitle(TDriftGroup{{0}, {}}), "1 odpovídá");
    EXPECT_EQ(DriftGroupTitle(TDriftGroup{std::vector<size_t>(3), {}}), "3 odpovídají");
    EXPECT_EQ(DriftGroupTitle(match), "34 odpovídá");
    EXPECT_EQ(DriftGroupTitle(one), "1 se liší v /setup/snmp/community");
    EXPECT_EQ(UnreadableTitle(2), "2 nešlo přečíst");
}
