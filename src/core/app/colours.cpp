#include "core/app/colours.h"

#include <cmath>

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

double Channel(uint32_t rgb, int shift)
{
    const double c = double((rgb >> shift) & 0xFF) / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// The colour `t` of the way from a to b (0: a, 1: b), channel by channel.
uint32_t Mix(uint32_t a, uint32_t b, double t)
{
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const double from = double((a >> shift) & 0xFF), to = double((b >> shift) & 0xFF);
        out |= uint32_t(std::lround(from + (to - from) * t)) << shift;
    }
    return out;
}

// `colour` as it is when it reaches `ratio` against `background`; otherwise the nearest shade of
// it that does, lighter on a dark background and darker on a light one.
uint32_t Shade(uint32_t colour, uint32_t background, double ratio)
{
    if (ContrastRatio(colour, background) >= ratio)
        return colour;
    const uint32_t far = IsDarkWindow(background) ? kWhite : kBlack;
    for (int step = 1; step < 256; ++step) {
        const uint32_t shade = Mix(colour, far, step / 255.0);
        if (ContrastRatio(shade, background) >= ratio)
            return shade;
    }
    return far;
}

// Black or white, whichever reads better on the background.
uint32_t TextFor(uint32_t background)
{
    return ContrastRatio(kBlack, background) >= ContrastRatio(kWhite, background) ? kBlack : kWhite;
}

TSchemeColours On(uint32_t background, uint32_t text)
{
    TSchemeColours c;
    c.Text = text;
    c.Background = c.BackgroundEnd = background;
    return c;
}

// A gradient and the text that reads on both of its ends.
TSchemeColours Gradient(uint32_t top, uint32_t bottom, uint32_t text)
{
    const uint32_t worse = ContrastRatio(text, top) < ContrastRatio(text, bottom) ? top : bottom;
    TSchemeColours c = On(top, Shade(text, worse, kMinTextContrast));
    c.BackgroundEnd = bottom;
    return c;
}

TSchemeColours Light(const TPaletteColours& p, TColourRole role)
{
    const uint32_t window = p.Window;
    switch (role) {
    case TColourRole::Plain: return On(window, kBlack);
    case TColourRole::NewDevice: return On(window, kNewDeviceBlue);
    case TColourRole::LogOutgoing: return On(window, Shade(kLogLime, window, kMinTextContrast));
    case TColourRole::LogIncoming: return On(window, kLogBlue);
    case TColourRole::ProgressPlain: return On(kProgressBackground, kBlack);
    case TColourRole::ProgressSucceeded: return On(kProgressBackground, kProgressGreen);
    case TColourRole::ProgressFailed: return On(kProgressBackground, kProgressRed);
    case TColourRole::ShadedField: return On(kShadedFieldGrey, kBlack);
    case TColourRole::Blocking: return On(window, kBlockingRed);
    case TColourRole::ButtonGlyph: return On(window, kGlyphGrey);
    case TColourRole::ToolBar: return Gradient(Mix(window, kWhite, 0.75), Mix(window, kBlack, 0.1), p.Text);
    case TColourRole::CheckBoxFrame:
    case TColourRole::PictureBackdrop: {
        TSchemeColours c = On(window, p.Text);
        c.Own = false;
        return c;
    }
    default: return On(window, kBlack);
    }
}

TSchemeColours Dark(const TPaletteColours& p, TColourRole role)
{
    const uint32_t window = p.Window;
    const uint32_t text = Shade(p.Text, window, kMinTextContrast);
    auto accent = [&](uint32_t colour) { return On(window, Shade(colour, window, kMinTextContrast)); };
    switch (role) {
    case TColourRole::Plain:
    case TColourRole::ProgressPlain: return On(window, text);
    case TColourRole::NewDevice: return accent(kNewDeviceBlue);
    case TColourRole::LogOutgoing: return accent(kLogLime);
    case TColourRole::LogIncoming: return accent(kLogBlue);
    case TColourRole::ProgressSucceeded: return accent(kProgressGreen);
    case TColourRole::ProgressFailed: return accent(kProgressRed);
    case TColourRole::Blocking: return accent(kBlockingRed);
    case TColourRole::ButtonGlyph: return On(window, text);
    case TColourRole::ShadedField: {
        // Read-only fields stand a little lighter than the editable ones.
        const uint32_t shaded = Mix(window, p.Text, 0.15);
        return On(shaded, Shade(p.Text, shaded, kMinTextContrast));
    }
    case TColourRole::ToolBar: return Gradient(Mix(window, kWhite, 0.08), Mix(window, kBlack, 0.2), p.Text);
    case TColourRole::CheckBoxFrame: return On(window, Shade(Mix(p.Text, window, 0.5), window, kMinFrameContrast));
    case TColourRole::PictureBackdrop: return On(kPicturePlate, TextFor(kPicturePlate));
    default: return On(window, text);
    }
}

}  // namespace

double RelativeLuminance(uint32_t rgb)
{
    return 0.2126 * Channel(rgb, 16) + 0.7152 * Channel(rgb, 8) + 0.0722 * Channel(rgb, 0);
}

double ContrastRatio(uint32_t a, uint32_t b)
{
    const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

bool IsDarkWindow(uint32_t window) { return ContrastRatio(kWhite, window) > ContrastRatio(kBlack, window); }

TSchemeColours SchemeColours(const TPaletteColours& palette, TColourRole role)
{
    // Rows and highlight are the same in both schemes: they bring their own backgrounds.
    switch (role) {
    case TColourRole::ConflictRow: return On(kConflictAmber, TextFor(kConflictAmber));
    case TColourRole::NewConflictRow:
        return On(kConflictAmber, Shade(kNewDeviceBlue, kConflictAmber, kMinTextContrast));
    case TColourRole::Highlight: return On(kHighlightBackground, kHighlightText);
    default: break;
    }
    return IsDarkWindow(palette.Window) ? Dark(palette, role) : Light(palette, role);
}

TColourRole LogLineRole(const std::string& line, bool selected)
{
    if (selected)
        return TColourRole::Highlight;
    if (line.find("<-", 1) != std::string::npos)
        return TColourRole::LogIncoming;
    if (line.find(">>", 1) != std::string::npos)
        return TColourRole::LogOutgoing;
    return TColourRole::Plain;
}
