#include "app/i18n.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <libintl.h>

extern "C" int _nl_msg_cat_cntr;  // GNU gettext: bumping it drops the translation cache

namespace {
constexpr const char* kDomain = "default";
std::string g_language;
std::string g_environment;

std::string FirstNonEmptyEnv(std::initializer_list<const char*> names)
{
    for (const char* n : names) {
        const char* v = std::getenv(n);
        if (v && *v)
            return v;
    }
    return {};
}
} // namespace

void InitTranslation(const std::string& appDir)
{
    g_environment = FirstNonEmptyEnv({"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"});
    // gettext ignores LANGUAGE under the plain "C" locale; the built-in C.UTF-8 locale keeps the
    // program's behaviour and lets the language switch work in a bare session.
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    if (!messages || !std::strcmp(messages, "C") || !std::strcmp(messages, "POSIX"))
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    bindtextdomain(kDomain, (appDir + "locale").c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
    textdomain(kDomain);
}

const char* _(const char* msgid)
{
    if (!msgid || !*msgid)
        return msgid ? msgid : "";
    return dgettext(kDomain, msgid);
}

std::string Tr(const std::string& msgid) { return _(msgid.c_str()); }

void UseLanguage(const std::string& lang)
{
    g_language = lang;
    setenv("LANGUAGE", lang.c_str(), 1);
    ++_nl_msg_cat_cntr;
}

std::string GetCurrentLanguage() { return g_language; }

std::string EnvironmentLanguage() { return g_environment; }
