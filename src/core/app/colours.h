// The colours every window draws its texts in, decided in one place from the desktop's palette.
//
// The windows were first drawn for a light desktop: black text on the system window colour, with
// a few accents (the new-device blue, the Log Report's green and blue, the progress window's
// green and red). On a light window colour those exact colours stay, except the Log Report's
// lime for outgoing requests, which is too pale on white to read and becomes a darker green. On
// a dark window colour "black" becomes the palette's text colour and each accent becomes a
// lighter shade of itself. Every text colour this decides, except the light scheme's own
// colours, reaches kMinTextContrast against the background it is drawn on (WCAG 2 contrast
// ratio, from relative luminance).
//
// Colours are 0xRRGGBB.
#pragma once
#include <cstdint>
#include <string>

// The two colours of the desktop's palette a decision starts from: the background (for lists and
// fields the system window colour, QPalette::Base; for the tool bar the window face,
// QPalette::Window) and the text the palette draws on it.
struct TPaletteColours {
    uint32_t Window = 0xFFFFFF;
    uint32_t Text = 0x000000;
};

// What a piece of the window is.
enum class TColourRole {
    Plain,              // text on the window colour: device rows, log lines ("black")
    NewDevice,          // device row the previous discovery did not list (blue)
    ConflictRow,        // device row whose address another MAC reports as well (on amber)
    NewConflictRow,     // both of the above
    Highlight,          // highlighted row of the device list or the Log Report
    LogOutgoing,        // Log Report line with ">>": an outgoing request
    LogIncoming,        // Log Report line with "<-": an answer
    ProgressPlain,      // progress window line, black on cream
    ProgressSucceeded,  // progress window result line of a success (green)
    ProgressFailed,     // progress window result line of a failure (red)
    ShadedField,        // read-only setup field
    Blocking,           // a problem that stops a plan, a device the plan failed on (red)
    ButtonGlyph,        // the column buttons' sort triangle
    ToolBar,            // tool bar: a gradient from Background to BackgroundEnd, labels in Text
    CheckBoxFrame,      // frame of an empty check box, drawn over the style's box when Own
    PictureBackdrop,    // plate behind a device picture (drawn for a light window) when Own
};

struct TSchemeColours {
    uint32_t Text = 0x000000;           // text, glyph or frame colour
    uint32_t Background = 0xFFFFFF;     // what it is drawn on
    uint32_t BackgroundEnd = 0xFFFFFF;  // a gradient's second colour; Background for a plain fill
    // False: the style's or the picture's own look stays and nothing is drawn over it (the light
    // scheme's check boxes and pictures).
    bool Own = true;
};

// The one decision: the colours of `role` on a desktop whose palette gives `palette`.
TSchemeColours SchemeColours(const TPaletteColours& palette, TColourRole role);

// A window colour is dark when white text on it contrasts more than black text does.
bool IsDarkWindow(uint32_t window);

// Which role a Log Report line takes: ">>" outgoing, "<-" (tested after, so it wins) incoming,
// a selected line the highlight. A marker counts from the line's second character (every line
// starts with a space).
TColourRole LogLineRole(const std::string& line, bool selected);

// WCAG 2 relative luminance (0 black .. 1 white) and contrast ratio (1 .. 21).
double RelativeLuminance(uint32_t rgb);
double ContrastRatio(uint32_t a, uint32_t b);

constexpr double kMinTextContrast = 4.5;
constexpr double kMinFrameContrast = 3.0;  // non-text parts a user has to see: check box frames

// The light scheme's own colours.
constexpr uint32_t kNewDeviceBlue = 0x3478C4;        // RGB (52, 120, 196)
constexpr uint32_t kConflictAmber = 0xFFC478;        // RGB (255, 196, 120)
constexpr uint32_t kHighlightBackground = 0x0A5F89;  // RGB (10, 95, 137)
constexpr uint32_t kHighlightText = 0xFFFFFF;
constexpr uint32_t kLogLime = 0x00FF00;  // the outgoing requests' first colour, too pale on white
constexpr uint32_t kLogBlue = 0x0000FF;
constexpr uint32_t kProgressBackground = 0xFFFBF0;  // cream, RGB (255, 251, 240)
constexpr uint32_t kProgressGreen = 0x008000;
constexpr uint32_t kProgressRed = 0xFF0000;
constexpr uint32_t kShadedFieldGrey = 0xD4D0C8;  // the desktop's inactive border colour
constexpr uint32_t kBlockingRed = 0xC80000;
constexpr uint32_t kGlyphGrey = 0x3C3C3C;
constexpr uint32_t kPicturePlate = 0xECECEC;  // the light window the device pictures were drawn for
