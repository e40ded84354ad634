#include "core/app/i18n.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <libintl.h>
#include <memory>

extern "C" int _nl_msg_cat_cntr;  // GNU gettext: bumping it drops the translation cache

namespace {
constexpr const char* kDomain = "default";
std::string g_language;
std::string g_environment;
QTranslator* g_toolkit = nullptr;  // the toolkit's own texts (file dialogs, edit menus)
std::string g_toolkitLanguage;

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

const char* _n(const char* msgid, const char* msgidPlural, unsigned long n)
{
    return dngettext(kDomain, msgid, msgidPlural, n);
}

namespace {
// The file dialogs and edit menus the toolkit builds for the program speak the same language.
void UseToolkitLanguage(const std::string& lang)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || lang == g_toolkitLanguage)
        return;
    g_toolkitLanguage = lang;
    if (g_toolkit) {
        QCoreApplication::removeTranslator(g_toolkit);
        delete g_toolkit;
        g_toolkit = nullptr;
    }
    auto translator = std::make_unique<QTranslator>(app);
    if (!lang.empty()
        && translator->load(QStringLiteral("qtbase_") + QString::fromStdString(lang),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        g_toolkit = translator.release();
        QCoreApplication::installTranslator(g_toolkit);
    }
}
} // namespace

void UseLanguage(const std::string& lang)
{
    g_language = lang;
    setenv("LANGUAGE", lang.c_str(), 1);
    ++_nl_msg_cat_cntr;
    UseToolkitLanguage(lang);
}

std::string GetCurrentLanguage() { return g_language; }

std::string EnvironmentLanguage() { return g_environment; }
