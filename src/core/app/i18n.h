// Translation through GNU gettext, text domain "default", catalogues under AppDir + "locale/".
// The English text is the message id; every user-visible literal passes through _() when used.
#pragma once
#include <string>

// Binds the "default" domain to appDir + "locale" and remembers the language that the
// user's environment asks for. Call once at start, after setlocale(LC_ALL, "").
void InitTranslation(const std::string& appDir);

// Looks a message id up in the current language; returns the id itself when there is none.
const char* _(const char* msgid);
std::string Tr(const std::string& msgid);
// The form of a text with a count in it that the current language uses for n (Czech has three:
// 1, 2-4, 5 and more); the English singular or plural when there is no translation.
const char* _n(const char* msgid, const char* msgidPlural, unsigned long n);

// Selects the interface language ("cs", "en", or any code, passed on unchanged).
// Works whatever locale the session started in.
void UseLanguage(const std::string& lang);
std::string GetCurrentLanguage();

// The language gettext chose at start from the environment (e.g. "cs_CZ.UTF-8"), "" if none.
std::string EnvironmentLanguage();
