// The logins kept in the keyring, without a keyring: the entries' keys and texts, the index, the
// order in which a request takes a login, and the keyring's operations over a store in memory
// that answers at once or refuses as a locked or missing keyring does.
#include "core/keyring/logins.h"
#include "core/keyring/loginstore.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

namespace {

// A keyring in memory; `Refusing` makes every call fail as a locked keyring does.
class TMemoryStore : public TLoginStore {
public:
    std::map<std::string, std::string> Entries;
    std::optional<TStoreStatus> Refusing;

    void Read(const std::string& key, TStoreDone done) override
    {
        if (Refusing)
            return done({*Refusing, {}, "locked"});
        const auto at = Entries.find(key);
        done(at == Entries.end() ? TStoreAnswer{TStoreStatus::NotFound, {}, {}} : TStoreAnswer{TStoreStatus::Ok, at->second, {}});
    }
    void Write(const std::string& key, const std::string& data, TStoreDone done) override
    {
        if (Refusing)
            return done({*Refusing, {}, "locked"});
        Entries[key] = data;
        done({});
    }
    void Remove(const std::string& key, TStoreDone done) override
    {
        if (Refusing)
            return done({*Refusing, {}, "locked"});
        done({Entries.erase(key) ? TStoreStatus::Ok : TStoreStatus::NotFound, {}, {}});
    }
};

const TLogin kOwn{"alpha", "own-pass"};
const TLogin kEvery{"fleet", "fleet-pass"};
const TLogin kRun{"typed", "typed-pass"};

}  // namespace

TEST(Keyring, EntryKeysAndTexts)
{
    EXPECT_EQ(DeviceKey("00:0a:14:50:00:01"), "000A14500001");
    EXPECT_EQ(DeviceKey("000A14500001"), "000A14500001");
    EXPECT_EQ(DeviceKey("00-0A-14-50-00-01"), "000A14500001");
    EXPECT_EQ(DeviceKey(""), "");                   // unknown MAC: no device entry
    EXPECT_EQ(DeviceKey("00:0A:14:50:00"), "");     // five bytes
    EXPECT_EQ(DeviceKey("every-device"), "");       // not a MAC

    const TLogin odd{"ad\"min", "p\\a:s\ns é"};
    EXPECT_EQ(LoginEntryText({"u", "p"}), R"({"password":"p","user":"u"})");
    EXPECT_EQ(ParseLoginEntry(LoginEntryText(odd)), odd);
    EXPECT_FALSE(ParseLoginEntry(""));
    EXPECT_FALSE(ParseLoginEntry(R"({"user":"u"})"));           // no password
    EXPECT_FALSE(ParseLoginEntry(R"({"user":1,"password":"p"})")); // not a text
    EXPECT_FALSE(ParseLoginEntry(R"(["u","p"])"));
}

TEST(Keyring, IndexListsUserNamesOnly)
{
    TLoginIndex index;
    IndexRemember(index, "000A14500002", "beta");
    IndexRemember(index, "000A14500001", "alpha");
    IndexRemember(index, kEveryDeviceKey, "fleet");
    IndexRemember(index, "000A14500002", "beta2");  // replaced, not added
    ASSERT_EQ(index.Devices.size(), 2u);
    EXPECT_EQ(index.Devices[0], (TLoginIndex::TDevice{"000A14500001", "alpha"}));  // in key order
    EXPECT_EQ(index.Devices[1].User, "beta2");
    const std::string text = LoginIndexText(index);
    EXPECT_EQ(text.find("pass"), std::string::npos);
    EXPECT_EQ(ParseLoginIndex(text), index);

    IndexForget(index, "000A14500001");
    IndexForget(index, kEveryDeviceKey);
    IndexForget(index, "000A145000FF");  // not there: nothing changes
    ASSERT_EQ(index.Devices.size(), 1u);
    EXPECT_FALSE(index.EveryDeviceUser);
    IndexForget(index, "000A14500002");
    EXPECT_TRUE(index.Empty());

    EXPECT_TRUE(ParseLoginIndex("not json").Empty());
    EXPECT_TRUE(ParseLoginIndex(R"({"devices":[{"mac":"bad","user":"x"}]})").Empty());
}

// The rules in order: this device's entry, the entry of every device, the run's login, then the
// question; a refused rule is passed over, and so is another rule with a login already refused.
TEST(Keyring, ChainTakesTheRulesInOrder)
{
    struct TCase {
        const char* Why;
        std::optional<TLogin> Device, Every, Run;
        std::vector<TLoginRule> Rules;  // the rules given before the question, each refused
    };
    const TCase cases[] = {
        {"all three: in order", kOwn, kEvery, kRun,
         {TLoginRule::ThisDevice, TLoginRule::EveryDevice, TLoginRule::ThisRun}},
        {"no device entry", std::nullopt, kEvery, kRun, {TLoginRule::EveryDevice, TLoginRule::ThisRun}},
        {"keyring empty", std::nullopt, std::nullopt, kRun, {TLoginRule::ThisRun}},
        {"nothing at all: the question first", std::nullopt, std::nullopt, std::nullopt, {}},
        {"the every entry is the device's, refused already", kOwn, kOwn, std::nullopt, {TLoginRule::ThisDevice}},
        {"the run's login is the refused every entry", std::nullopt, kEvery, kEvery, {TLoginRule::EveryDevice}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Why);
        TLoginChain chain(c.Device, c.Every);
        std::vector<TLoginRule> rules;
        while (const std::optional<TLoginChoice> choice = chain.Next(c.Run)) {
            rules.push_back(choice->Rule);
            chain.Refused();
            ASSERT_LE(rules.size(), 3u);
        }
        EXPECT_EQ(rules, c.Rules);
    }
}

TEST(Keyring, ChainAsksWithTheRefusedUserName)
{
    TLoginChain chain(kOwn, kEvery);
    EXPECT_EQ(chain.Next(std::nullopt)->Login, kOwn);
    EXPECT_EQ(chain.QuestionUser(), "");
    chain.Refused();
    EXPECT_EQ(chain.QuestionUser(), "alpha");  // the first refused keyring login's user
    EXPECT_EQ(chain.Next(std::nullopt)->Rule, TLoginRule::EveryDevice);
    chain.Refused();
    EXPECT_EQ(chain.QuestionUser(), "alpha");
    EXPECT_FALSE(chain.Next(std::nullopt));
    // A login typed at the question is tried whatever it is, also one refused before.
    chain.Typed(kOwn);
    const std::optional<TLoginChoice> typed = chain.Next(std::nullopt);
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->Rule, TLoginRule::Typed);
    EXPECT_EQ(typed->Login, kOwn);
    chain.Refused();
    // Refused again, with no new login of the run: the question again.
    EXPECT_FALSE(chain.Next(kOwn));
    // A login typed for another device meanwhile is tried first.
    EXPECT_EQ(chain.Next(kRun)->Rule, TLoginRule::ThisRun);
}

TEST(Keyring, RulesAreNamedNeverTheLogin)
{
    EXPECT_EQ(LoginRuleText(TLoginRule::ThisDevice), "login of this device from the keyring");
    EXPECT_EQ(LoginRuleText(TLoginRule::EveryDevice), "login for every device from the keyring");
    EXPECT_EQ(LoginRuleText(TLoginRule::ThisRun), "login typed in this run");
}

TEST(Keyring, RememberLookUpForget)
{
    TMemoryStore store;
    TKeyringLogins keyring(store);
    std::vector<TKeyringResult> results;
    auto keep = [&](const TKeyringResult& r) { results.push_back(r); };

    keyring.Remember("000A14500001", kOwn, keep);
    keyring.Remember(kEveryDeviceKey, kEvery, keep);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[1].Ok());
    EXPECT_EQ(ParseLoginEntry(store.Entries.at("000A14500001")), kOwn);
    const TLoginIndex index = ParseLoginIndex(store.Entries.at(kIndexKey));
    ASSERT_EQ(index.Devices.size(), 1u);
    EXPECT_EQ(index.Devices[0].User, "alpha");
    EXPECT_EQ(index.EveryDeviceUser, "fleet");
    EXPECT_EQ(store.Entries.at(kIndexKey).find("pass"), std::string::npos);  // never a password

    std::optional<TRemembered> found;
    keyring.LookUp("00:0A:14:50:00:01", [&](const TRemembered& r) { found = r; });
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->Available);
    EXPECT_EQ(found->Device, kOwn);
    EXPECT_EQ(found->Every, kEvery);
    found.reset();
    keyring.LookUp("", [&](const TRemembered& r) { found = r; });  // MAC unknown: every device only
    EXPECT_FALSE(found->Device);
    EXPECT_EQ(found->Every, kEvery);

    results.clear();
    keyring.Forget("000A14500001", keep);
    keyring.Forget("000A14500001", keep);  // no such entry any more
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].Ok());
    EXPECT_TRUE(results[0].Index.Devices.empty());
    EXPECT_EQ(results[1].Status, TStoreStatus::NotFound);
    EXPECT_FALSE(store.Entries.count("000A14500001"));

    keyring.Remember("000A14500003", kOwn, keep);
    results.clear();
    keyring.ForgetAll(keep);
    keyring.List(keep);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].Ok());
    EXPECT_TRUE(results[1].Index.Empty());
    EXPECT_TRUE(store.Entries.empty());  // the index went too
}

TEST(Keyring, RefusingOrMissingKeyring)
{
    for (const TStoreStatus status : {TStoreStatus::Refused, TStoreStatus::NoKeyring}) {
        TMemoryStore store;
        store.Refusing = status;
        TKeyringLogins keyring(store);
        std::optional<bool> probed;
        keyring.Probe([&](bool ok, const std::string& why) {
            probed = ok;
            EXPECT_EQ(why, "locked");
        });
        EXPECT_EQ(probed, false);
        std::optional<TRemembered> found;
        keyring.LookUp("000A14500001", [&](const TRemembered& r) { found = r; });
        ASSERT_TRUE(found);
        EXPECT_FALSE(found->Available);
        EXPECT_FALSE(found->Device);
        std::optional<TKeyringResult> remembered;
        keyring.Remember("000A14500001", kOwn, [&](const TKeyringResult& r) { remembered = r; });
        ASSERT_TRUE(remembered);
        EXPECT_EQ(remembered->Status, status);
        EXPECT_EQ(remembered->Error, "locked");
    }
    // An empty keyring answers: it is there.
    TMemoryStore empty;
    TKeyringLogins keyring(empty);
    std::optional<bool> probed;
    keyring.Probe([&](bool ok, const std::string&) { probed = ok; });
    EXPECT_EQ(probed, true);
}
