// The translation layer: switching between Czech and English from the catalogues beside the
// program, also when the session starts in the plain "C" locale.
#include "core/app/i18n.h"
#include "core/http/batch.h"
#include "core/setup/planrun.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace {
// Starts the translation layer the way the program does, under LC_ALL=C, and restores the
// environment and locale afterwards.
class Translation : public ::testing::Test {
protected:
    void SetUp() override
    {
        Save("LC_ALL", SavedLcAll);
        Save("LANGUAGE", SavedLanguage);
        SavedLocale = std::setlocale(LC_ALL, nullptr);
        setenv("LC_ALL", "C", 1);
        unsetenv("LANGUAGE");
        std::setlocale(LC_ALL, "");
        InitTranslation(PYXET_BIN_DIR "/");
    }
    void TearDown() override
    {
        UseLanguage("en");
        Restore("LC_ALL", SavedLcAll);
        Restore("LANGUAGE", SavedLanguage);
        std::setlocale(LC_ALL, SavedLocale.c_str());
    }
    static void Save(const char* name, std::pair<bool, std::string>& into)
    {
        const char* v = std::getenv(name);
        into = {v != nullptr, v ? v : ""};
    }
    static void Restore(const char* name, const std::pair<bool, std::string>& from)
    {
        if (from.first)
            setenv(name, from.second.c_str(), 1);
        else
            unsetenv(name);
    }
    std::pair<bool, std::string> SavedLcAll, SavedLanguage;
    std::string SavedLocale;
};
} // namespace

TEST_F(Translation, SwitchesBetweenCzechAndEnglishUnderTheCLocale)
{
    EXPECT_EQ(EnvironmentLanguage(), "C");
    // Back and forth: each switch must take effect at once, not come from a cached lookup.
    for (int round = 0; round < 2; ++round) {
        UseLanguage("cs");
        EXPECT_EQ(GetCurrentLanguage(), "cs");
        EXPECT_STREQ(_("Ready"), "Připraven");
        EXPECT_EQ(Tr("Ready"), "Připraven");
        UseLanguage("en");
        EXPECT_EQ(GetCurrentLanguage(), "en");
        EXPECT_STREQ(_("Ready"), "Ready");
    }
}

TEST_F(Translation, UnknownTextsAndLanguagesGiveTheEnglishText)
{
    UseLanguage("cs");
    EXPECT_STREQ(_("No such message id in any catalogue"), "No such message id in any catalogue");
    EXPECT_STREQ(_(""), "") << "the empty id must not return the catalogue header";
    EXPECT_STREQ(_(nullptr), "");
    UseLanguage("EN");  // any code is passed on; one without a catalogue gives the English text
    EXPECT_EQ(GetCurrentLanguage(), "EN");
    EXPECT_STREQ(_("Ready"), "Ready");
}

TEST_F(Translation, PlanStatusesInCzech)
{
    UseLanguage("cs");
    EXPECT_EQ(PlanStatusText({TPlanDeviceState::DeviceRefused, 3, {}}), "odmítnuto zařízením (kód chyby 3)");
    EXPECT_EQ(PlanStatusText({TPlanDeviceState::NotVerified, 0, _("no answer")}), "neověřeno: bez odpovědi");
    EXPECT_EQ(PlanStatusText({TPlanDeviceState::NotSent, 0, _("needs a restart")}), "neodesláno: vyžaduje restart");
}

// A count in a text takes the form its language gives it: Czech has three (1; 2 to 4; 5 and
// more, and 0). (The English forms: test_sharedaddress.cpp.)
TEST_F(Translation, SharedAddressReasonInItsPluralForms)
{
    const std::string tail = "; nejprve dejte každému vlastní adresu (Akce → Nastavit zaškrtnutá zařízení...)";
    UseLanguage("cs");
    EXPECT_EQ(SharedAddressRefusal("192.168.1.80", 1), "Adresu 192.168.1.80 má ještě 1 další zařízení" + tail);
    EXPECT_EQ(SharedAddressRefusal("192.168.1.80", 3), "Adresu 192.168.1.80 mají ještě 3 další zařízení" + tail);
    EXPECT_EQ(SharedAddressRefusal("192.168.1.80", 4), "Adresu 192.168.1.80 mají ještě 4 další zařízení" + tail);
    EXPECT_EQ(SharedAddressRefusal("192.168.1.80", 5), "Adresu 192.168.1.80 má ještě 5 dalších zařízení" + tail);
    EXPECT_EQ(SharedAddressRefusal("192.168.1.80", 22), "Adresu 192.168.1.80 má ještě 22 dalších zařízení" + tail)
        << "the header's rule: 2 to 4 exactly, not every number ending in them";
}
