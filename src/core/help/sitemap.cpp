#include "core/help/sitemap.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>

namespace {

bool EqualsNoCase(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

void AppendUtf8(std::string& out, uint32_t code)
{
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The five named entities and numeric references; anything else stays as written.
std::string DecodeEntities(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        const size_t semi = s.find(';', i);
        if (semi == std::string::npos || semi - i > 10) {
            out += s[i];
            continue;
        }
        const std::string name = s.substr(i + 1, semi - i - 1);
        static const struct {
            const char* Name;
            char Char;
        } named[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        bool done = false;
        for (const auto& n : named)
            if (name == n.Name) {
                out += n.Char;
                done = true;
            }
        if (!done && name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits = name.substr(hex ? 2 : 1);
            char* end = nullptr;
            const unsigned long code = digits.empty() ? 0 : std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
            if (!digits.empty() && end && *end == '\0' && std::isxdigit(static_cast<unsigned char>(digits[0]))) {
                AppendUtf8(out, code > 0x10FFFF ? 0xFFFD : static_cast<uint32_t>(code));
                done = true;
            }
        }
        if (!done) {
            out += s[i];
            continue;
        }
        i = semi;
    }
    return out;
}

struct TTag {
    std::string Name;                                             // lower case; "/ul" for a closing tag
    std::vector<std::pair<std::string, std::string>> Attributes;  // names lower case
    std::string Attribute(const char* name) const
    {
        for (const auto& [n, v] : Attributes)
            if (n == name)
                return v;
        return {};
    }
};

// Reads the tag whose '<' is at `pos`; `pos` ends after its '>' (or at the end of the text).
TTag ReadTag(const std::string& html, size_t& pos)
{
    TTag tag;
    size_t i = pos + 1;
    auto space = [&](size_t k) { return k < html.size() && std::isspace(static_cast<unsigned char>(html[k])); };
    auto nameChar = [&](size_t k) {
        return k < html.size() && !std::isspace(static_cast<unsigned char>(html[k])) && html[k] != '>' && html[k] != '='
               && html[k] != '/';
    };
    if (i < html.size() && html[i] == '/') {
        tag.Name = "/";
        ++i;
    }
    while (nameChar(i))
        tag.Name += static_cast<char>(std::tolower(static_cast<unsigned char>(html[i++])));
    while (i < html.size() && html[i] != '>') {
        if (space(i) || html[i] == '/') {
            ++i;
            continue;
        }
        std::string name;
        while (nameChar(i))
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(html[i++])));
        if (name.empty()) {
            ++i;  // a stray '=' or the like
            continue;
        }
        while (space(i))
            ++i;
        std::string value;
        if (i < html.size() && html[i] == '=') {
            ++i;
            while (space(i))
                ++i;
            if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
                const char quote = html[i++];
                const size_t end = html.find(quote, i);
                const size_t stop = end == std::string::npos ? html.size() : end;
                value = html.substr(i, stop - i);
                i = end == std::string::npos ? html.size() : end + 1;
            } else {
                while (i < html.size() && !space(i) && html[i] != '>')
                    value += html[i++];
            }
        }
        tag.Attributes.emplace_back(name, DecodeEntities(value));
    }
    pos = i < html.size() ? i + 1 : html.size();
    return tag;
}

}  // namespace

std::vector<TTocEntry> ParseSitemap(const std::string& html)
{
    std::vector<TTocEntry> entries;
    int depth = 0;  // open <UL> lists
    bool inObject = false;
    bool names = false, locals = false;
    TTocEntry current;
    size_t pos = 0;
    while (pos < html.size() && entries.size() < kMaxSitemapEntries) {
        const size_t open = html.find('<', pos);
        if (open == std::string::npos)
            break;
        if (html.compare(open, 4, "<!--") == 0) {
            const size_t end = html.find("-->", open + 4);
            pos = end == std::string::npos ? html.size() : end + 3;
            continue;
        }
        pos = open;
        const TTag tag = ReadTag(html, pos);
        if (tag.Name == "ul") {
            ++depth;
        } else if (tag.Name == "/ul") {
            if (depth > 0)
                --depth;
        } else if (tag.Name == "object") {
            inObject = EqualsNoCase(tag.Attribute("type"), "text/sitemap");
            current = TTocEntry{};
            current.Level = std::min(std::max(depth - 1, 0), kMaxSitemapLevel);
            names = locals = false;
        } else if (tag.Name == "param" && inObject) {
            const std::string name = tag.Attribute("name");
            if (EqualsNoCase(name, "Name") && !names) {
                current.Name = tag.Attribute("value");
                names = true;
            } else if (EqualsNoCase(name, "Local") && !locals) {
                current.Local = tag.Attribute("value");
                locals = true;
            }
        } else if (tag.Name == "/object") {
            if (inObject && !current.Name.empty())
                entries.push_back(current);
            inObject = false;
        }
    }
    return entries;
}

std::string TopicPath(const std::string& local)
{
    std::string path = local;
    if (const size_t store = path.find("::"); store != std::string::npos)
        path.erase(0, store + 2);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    const size_t first = path.find_first_not_of('/');
    if (first == std::string::npos)
        return {};
    return "/" + path.substr(first);
}
