// Texts that come from devices (names, firmware revisions, the headings and status lines of
// their web servers) are shown in the log, the windows and the terminal only through SafeText:
// a device must not be able to start a new log line, move the cursor, recolour a terminal or
// turn the reading direction of what follows.
#pragma once
#include <string>
#include <string_view>

// The text as it may be shown: valid UTF-8 on one line, every character that would act rather
// than show written out visibly.
//  - a backslash is doubled: "\\", so every escape below reads back unambiguously;
//  - C0 controls (U+0000-U+001F) and DEL become "\x" and two upper-case hex digits ("\x0A");
//  - C1 controls (U+0080-U+009F), the line and paragraph separators U+2028 and U+2029 and the
//    bidirectional controls (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) become
//    "\u{" hex digits "}" ("\u{202E}");
//  - bytes that are not UTF-8 (a stray continuation byte, a sequence cut short, an overlong
//    form, a surrogate, anything above U+10FFFF) become U+FFFD, one for each longest run that
//    could have begun a character.
// Every other character passes unchanged; a text with nothing to show otherwise comes back as
// it was. The form is made where a text is shown; what the program keeps and sends stays the
// device's own text.
std::string SafeText(std::string_view text);

// The characters (code points) of SafeText(text); plain ASCII text is measured without building
// its safe form.
size_t SafeTextLength(std::string_view text);
