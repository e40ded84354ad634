// Conversions between the raw addresses devices send and the texts the program shows and edits.
// Each parser has its own acceptance rules; callers rely on exactly those.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

std::string FormatMac(const uint8_t mac[6]);  // "00:1A:2B:3C:4D:FF", never lower case
// A MAC in any form ParseMac takes as 12 upper-case hex digits ("001A2B3C4DFF"), the key of the
// files and entries kept per device; "" for a text ParseMac refuses.
std::string MacHexText(const std::string& mac);
std::string FormatIp(const uint8_t ip[4]);    // "192.168.1.10"

// strtol-like parts: blanks and a sign before each number allowed, empty parts count 0,
// text after the fourth number ignored; "" gives 0.0.0.0. out is written only on success.
bool TryParseIp(const std::string& text, uint8_t out[4]);

// Strict digits and dots, leading zeros allowed; failure gives FF FF FF FF.
void ParseIp(const std::string& text, uint8_t out[4]);
// ParseIp that also tells whether the text parsed (255.255.255.255 itself does).
bool ParseIpChecked(const std::string& text, uint8_t out[4]);

// Six hex pairs, each optionally followed by one '-' or ':'; leading white space skipped.
// 0 on success, -1 on failure (bytes converted before the failure stay written).
int ParseMac(const std::string& text, uint8_t out[6]);
// The six bytes of a MAC address as one number, so that any two forms of one address compare
// equal; MacKeyOf gives none for a text ParseMac refuses.
uint64_t MacKey(const uint8_t mac[6]);
std::optional<uint64_t> MacKeyOf(const std::string& text);

// The text between the first start marker and the first end marker (see the rules in utils.cpp).
std::string TextBetween(const std::string& text, const std::string& startMarker, const std::string& endMarker);

// Texts devices send are UTF-8; bytes that are not become U+FFFD, so that later displays and
// JSON output stay sound.
std::string ValidUtf8(std::string_view bytes);

// A zero-terminated field that may also fill its whole width: the bytes before the first NUL.
std::string FieldText(const uint8_t* field, size_t width);

// Characters in a UTF-8 text: its bytes less the continuation bytes.
size_t Utf8Length(std::string_view text);

// The longest start of a UTF-8 text that has at most maxBytes bytes and does not end inside a
// character: a character the cut would split is left out whole. A text of ASCII only is cut at
// maxBytes exactly; bytes that are not UTF-8 are cut where they stand.
std::string_view Utf8Prefix(std::string_view text, size_t maxBytes);
