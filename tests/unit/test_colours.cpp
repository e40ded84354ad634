// The colours of the scheme: the light scheme's own colours, and a contrast of at least 4.5:1
// (3:1 for a check box's frame) for every text the scheme decides, in light and dark palettes.
#include "core/app/colours.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Hex(uint32_t rgb)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", rgb);
    return text;
}

constexpr TColourRole kTextRoles[] = {
    TColourRole::Plain,          TColourRole::NewDevice,     TColourRole::ConflictRow,
    TColourRole::NewConflictRow, TColourRole::Highlight,     TColourRole::LogOutgoing,
    TColourRole::LogIncoming,    TColourRole::ProgressPlain, TColourRole::ProgressSucceeded,
    TColourRole::ProgressFailed, TColourRole::ShadedField,   TColourRole::Blocking,
    TColourRole::ButtonGlyph,    TColourRole::ToolBar,
};

TEST(Contrast, WcagFormula)
{
    EXPECT_DOUBLE_EQ(21.0, ContrastRatio(0x000000, 0xFFFFFF));
    EXPECT_DOUBLE_EQ(1.0, ContrastRatio(0x777777, 0x777777));
    EXPECT_DOUBLE_EQ(ContrastRatio(0x0000FF, 0xFFFFFF), ContrastRatio(0xFFFFFF, 0x0000FF));
    // Known values: lime on white 1.37:1, blue on white 8.59:1, #767676 on white 4.54:1.
    EXPECT_NEAR(1.37, ContrastRatio(0x00FF00, 0xFFFFFF), 0.01);
    EXPECT_NEAR(8.59, ContrastRatio(0x0000FF, 0xFFFFFF), 0.01);
    EXPECT_NEAR(4.54, ContrastRatio(0x767676, 0xFFFFFF), 0.01);
    EXPECT_NEAR(0.2126, RelativeLuminance(0xFF0000), 1e-4);
    EXPECT_NEAR(0.7152, RelativeLuminance(0x00FF00), 1e-4);
}

TEST(Contrast, DarkWindow)
{
    const struct {
        uint32_t Window;
        bool Dark;
        const char* Why;
    } rows[] = {
        {0xFFFFFF, false, "white"},
        {0xEFEFEF, false, "Fusion's light window face"},
        {0x777777, false, "mid grey: black still reads better"},
        {0x737373, true, "a shade darker: white reads better"},
        {0x2A2A2A, true, "Fusion-like dark base"},
        {0x000000, true, "black"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.Dark, IsDarkWindow(row.Window)) << row.Why;
}

// The light scheme keeps the colours the windows always had, with one exception: the lime of the
// outgoing requests, 1.4:1 on white, is a darker green now.
TEST(SchemeColours, LightSchemeKeepsItsOwnColours)
{
    const TPaletteColours light{0xFFFFFF, 0x000000};
    const struct {
        TColourRole Role;
        uint32_t Text, Background;
    } rows[] = {
        {TColourRole::Plain, 0x000000, 0xFFFFFF},
        {TColourRole::NewDevice, 0x3478C4, 0xFFFFFF},
        {TColourRole::ConflictRow, 0x000000, 0xFFC478},
        {TColourRole::Highlight, 0xFFFFFF, 0x0A5F89},
        {TColourRole::LogIncoming, 0x0000FF, 0xFFFFFF},
        {TColourRole::ProgressPlain, 0x000000, 0xFFFBF0},
        {TColourRole::ProgressSucceeded, 0x008000, 0xFFFBF0},
        {TColourRole::ProgressFailed, 0xFF0000, 0xFFFBF0},
        {TColourRole::ShadedField, 0x000000, 0xD4D0C8},
        {TColourRole::Blocking, 0xC80000, 0xFFFFFF},
        {TColourRole::ButtonGlyph, 0x3C3C3C, 0xFFFFFF},
    };
    for (const auto& row : rows) {
        const TSchemeColours c = SchemeColours(light, row.Role);
        EXPECT_EQ(Hex(row.Text), Hex(c.Text)) << int(row.Role);
        EXPECT_EQ(Hex(row.Background), Hex(c.Background)) << int(row.Role);
    }
    // Plain text stays black on any light window colour, whatever the palette's text colour.
    EXPECT_EQ(0x000000u, SchemeColours({0xF0F0F0, 0x303030}, TColourRole::Plain).Text);
    EXPECT_EQ(0xF0F0F0u, SchemeColours({0xF0F0F0, 0x303030}, TColourRole::Plain).Background);

    // The outgoing requests: a green, darker than the lime, at 4.5:1 on white.
    const TSchemeColours outgoing = SchemeColours(light, TColourRole::LogOutgoing);
    EXPECT_NE(kLogLime, outgoing.Text);
    EXPECT_EQ(0u, outgoing.Text & 0xFF00FF) << Hex(outgoing.Text) << ": a shade of the lime, no other hue";
    EXPECT_GE(ContrastRatio(outgoing.Text, 0xFFFFFF), kMinTextContrast) << Hex(outgoing.Text);
    EXPECT_LT(ContrastRatio(outgoing.Text, 0xFFFFFF), 5.0) << Hex(outgoing.Text) << ": no darker than it needs";
    // On a greyer light window it is darker still, and still reads.
    const uint32_t grey = 0xE0E0E0;
    EXPECT_GE(ContrastRatio(SchemeColours({grey, 0}, TColourRole::LogOutgoing).Text, grey), kMinTextContrast);

    // The style's own check boxes and the pictures as drawn stay in a light window.
    EXPECT_FALSE(SchemeColours(light, TColourRole::CheckBoxFrame).Own);
    EXPECT_FALSE(SchemeColours(light, TColourRole::PictureBackdrop).Own);
}

// Every text the scheme decides reaches 4.5:1 against what it is drawn on, in dark palettes of
// several kinds, and the accents are lighter shades of themselves.
TEST(SchemeColours, DarkSchemesReachTheContrast)
{
    const struct {
        TPaletteColours Palette;
        const char* Name;
    } palettes[] = {
        {{0x2A2A2A, 0xFFFFFF}, "Fusion-like dark"},
        {{0x1E1E1E, 0xDEDDDA}, "Adwaita dark"},
        {{0x000000, 0xFFFFFF}, "black"},
        {{0x3C3F41, 0xBBBBBB}, "grey with grey text"},
        {{0x202030, 0x505060}, "dark with a poor text colour of its own"},
        {{0x606060, 0xFFFFFF}, "a dark window hardly darker than mid grey"},
    };
    for (const auto& p : palettes) {
        ASSERT_TRUE(IsDarkWindow(p.Palette.Window)) << p.Name;
        for (TColourRole role : kTextRoles) {
            const TSchemeColours c = SchemeColours(p.Palette, role);
            EXPECT_GE(ContrastRatio(c.Text, c.Background), kMinTextContrast)
                << p.Name << ", role " << int(role) << ": " << Hex(c.Text) << " on " << Hex(c.Background);
            EXPECT_GE(ContrastRatio(c.Text, c.BackgroundEnd), kMinTextContrast)
                << p.Name << ", role " << int(role) << ": " << Hex(c.Text) << " on " << Hex(c.BackgroundEnd);
        }
        // "Black" is the palette's text colour when that reads.
        if (ContrastRatio(p.Palette.Text, p.Palette.Window) >= kMinTextContrast) {
            EXPECT_EQ(Hex(p.Palette.Text), Hex(SchemeColours(p.Palette, TColourRole::Plain).Text)) << p.Name;
        }
        // The lists, the log and the progress window lie on the palette's window colour.
        for (TColourRole role :
             {TColourRole::Plain, TColourRole::NewDevice, TColourRole::LogOutgoing, TColourRole::LogIncoming,
              TColourRole::ProgressPlain, TColourRole::ProgressSucceeded, TColourRole::ProgressFailed})
            EXPECT_EQ(Hex(p.Palette.Window), Hex(SchemeColours(p.Palette, role).Background)) << p.Name;
        // Accents: lighter than the light scheme's where those would not read, and of their own hue (the strongest channel
        // stays the strongest).
        const struct {
            TColourRole Role;
            uint32_t Own;
        } accents[] = {{TColourRole::NewDevice, kNewDeviceBlue},
                       {TColourRole::LogIncoming, kLogBlue},
                       {TColourRole::ProgressSucceeded, kProgressGreen},
                       {TColourRole::ProgressFailed, kProgressRed},
                       {TColourRole::Blocking, kBlockingRed}};
        for (const auto& a : accents) {
            const uint32_t shade = SchemeColours(p.Palette, a.Role).Text;
            if (ContrastRatio(a.Own, p.Palette.Window) < kMinTextContrast) {
                EXPECT_GT(RelativeLuminance(shade), RelativeLuminance(a.Own)) << p.Name << " " << Hex(shade);
            } else {
                EXPECT_EQ(Hex(a.Own), Hex(shade)) << p.Name << ": it reads as it is";
            }
            auto top = [](uint32_t rgb) {
                const uint32_t r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
                return r >= g && r >= b ? 0 : g >= b ? 1 : 2;
            };
            EXPECT_EQ(top(a.Own), top(shade)) << p.Name << " " << Hex(shade);
        }
        // Check boxes get a frame that shows (3:1), pictures a light plate their dark captions
        // read on.
        const TSchemeColours frame = SchemeColours(p.Palette, TColourRole::CheckBoxFrame);
        EXPECT_TRUE(frame.Own);
        EXPECT_GE(ContrastRatio(frame.Text, p.Palette.Window), kMinFrameContrast) << p.Name;
        const TSchemeColours plate = SchemeColours(p.Palette, TColourRole::PictureBackdrop);
        EXPECT_TRUE(plate.Own);
        EXPECT_GE(ContrastRatio(0x202020, plate.Background), kMinTextContrast) << p.Name;
    }
}

// The rows that bring their own backgrounds pick their text against them, in either scheme.
TEST(SchemeColours, ConflictRowsReadOnTheirAmber)
{
    for (const TPaletteColours& p : {TPaletteColours{0xFFFFFF, 0x000000}, TPaletteColours{0x2A2A2A, 0xFFFFFF}}) {
        for (TColourRole role : {TColourRole::ConflictRow, TColourRole::NewConflictRow, TColourRole::Highlight}) {
            const TSchemeColours c = SchemeColours(p, role);
            EXPECT_GE(ContrastRatio(c.Text, c.Background), kMinTextContrast)
                << int(role) << ": " << Hex(c.Text) << " on " << Hex(c.Background);
        }
        EXPECT_EQ(kConflictAmber, SchemeColours(p, TColourRole::ConflictRow).Background);
        // A new device in a conflict is still blue: a darker shade of the new-device blue.
        const uint32_t blue = SchemeColours(p, TColourRole::NewConflictRow).Text;
        EXPECT_LT(RelativeLuminance(blue), RelativeLuminance(kNewDeviceBlue)) << Hex(blue);
        EXPECT_GT(blue & 0xFF, blue >> 16) << Hex(blue);
    }
    // The palette's near-white text would be 1.4:1 on the amber: the row's text is dark.
    EXPECT_EQ(0x000000u, SchemeColours({0x2A2A2A, 0xFFFFFF}, TColourRole::ConflictRow).Text);
}

TEST(SchemeColours, ToolBarFollowsThePalette)
{
    const TSchemeColours light = SchemeColours({0xEFEFEF, 0x000000}, TColourRole::ToolBar);
    EXPECT_GT(RelativeLuminance(light.Background), RelativeLuminance(light.BackgroundEnd)) << "lighter at the top";
    EXPECT_TRUE(!IsDarkWindow(light.Background) && !IsDarkWindow(light.BackgroundEnd));
    EXPECT_EQ(0x000000u, light.Text);
    const TSchemeColours dark = SchemeColours({0x353535, 0xFFFFFF}, TColourRole::ToolBar);
    EXPECT_TRUE(IsDarkWindow(dark.Background) && IsDarkWindow(dark.BackgroundEnd))
        << Hex(dark.Background) << " " << Hex(dark.BackgroundEnd);
    EXPECT_EQ(0xFFFFFFu, dark.Text);
}

TEST(LogLineRole, MarkersAfterTheFirstCharacter)
{
    const struct {
        const char* Line;
        bool Selected;
        TColourRole Role;
    } rows[] = {
        {" Found device", false, TColourRole::Plain},
        {" ->> Sending HWG UDP Info", false, TColourRole::LogOutgoing},
        {" <- answer", false, TColourRole::LogIncoming},
        {" ->> x <- y", false, TColourRole::LogIncoming},  // the answer's test comes later and wins
        {">> no space", false, TColourRole::Plain},        // a marker as the first character counts not
        {"<- no space", false, TColourRole::Plain},
        {" ->> Sending", true, TColourRole::Highlight},
        {"", false, TColourRole::Plain},
    };
    for (const auto& row : rows)
        EXPECT_EQ(int(row.Role), int(LogLineRole(row.Line, row.Selected))) << row.Line;
}

}  // namespace
