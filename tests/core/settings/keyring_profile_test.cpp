#include "core/settings/KeyringProfile.h"
#include "core/settings/Settings.h"
#include "support/KeyringSupport.h"

#include <gtest/gtest.h>
#include <map>

namespace {
const std::string A = kSectionAuthor;

// A keyring that can be switched off, as a locked or missing one is, or refuse only writes.
struct CFakeKeyring final : ISecretStore {
    std::map<std::string, std::string> secrets;
    Result refusal = Result::Ok;  // what every call answers while it is not Ok
    bool refuseWrites = false;
    int reads = 0;
    Result Read(const std::string& account, std::string& secret) override
    {
        ++reads;
        if (refusal != Result::Ok)
            return refusal;
        auto it = secrets.find(account);
        if (it == secrets.end())
            return Result::NotFound;
        secret = it->second;
        return Result::Ok;
    }
    Result Write(const std::string& account, const std::string& secret) override
    {
        if (refusal != Result::Ok || refuseWrites)
            return refuseWrites ? Result::Locked : refusal;
        secrets[account] = secret;
        return Result::Ok;
    }
    Result Remove(const std::string& account) override
    {
        if (refusal != Result::Ok)
            return refusal;
        return secrets.erase(account) ? Result::Ok : Result::NotFound;
    }
    std::string LastError() const override { return "the collection is locked"; }
};

struct KeyringProfile : ::testing::Test {
    CMemoryProfileStore* file = new CMemoryProfileStore;
    CFakeKeyring* keyring = new CFakeKeyring;
    std::vector<std::string> notices;
    CKeyringProfileStore profile{std::unique_ptr<IProfileStore>(file),
                                 std::unique_ptr<ISecretStore>(keyring),
                                 [this](const std::string& t) { notices.push_back(t); }};

    // The same file and keyring as a new start of the agent finds them: `keyring` then
    // points at the copy the new start reads.
    std::unique_ptr<CKeyringProfileStore> Restarted()
    {
        keyring = new CFakeKeyring(*keyring);
        return std::make_unique<CKeyringProfileStore>(
            std::make_unique<CMemoryProfileStore>(*file), std::unique_ptr<ISecretStore>(keyring),
            [this](const std::string& t) { notices.push_back(t); });
    }
    static CSettings Author(const std::string& login, const std::string& password)
    {
        CSettings s = AuthorSettings(login, password);
        s.Dir[0] = "/home/a/dictations/";
        s.Ext[0] = "dss";
        return s;
    }
    bool FileHasPassword() { return file->HasProfileValue(A, "Password"); }
};
}  // namespace

TEST_F(KeyringProfile, SaveMovesThePasswordOutOfTheFileAndLoadBringsItBack)
{
    const CSettings s = Author("dr.lee", "pa&ss=1");
    SaveSettings(profile, s);
    EXPECT_FALSE(FileHasPassword());
    EXPECT_EQ(keyring->secrets["dr.lee"], "pa&ss=1");
    EXPECT_EQ(LoadSettings(profile), s);
    EXPECT_TRUE(notices.empty());

    // Every other value is written as a plain save writes it, and nothing else.
    CMemoryProfileStore plain;
    SaveSettings(plain, s);
    plain.strings.erase({A, "Password"});
    EXPECT_EQ(file->strings, plain.strings);
    EXPECT_EQ(file->ints, plain.ints);

    // A new login ID takes the password along and leaves no stale one behind.
    SaveSettings(profile, Author("dr.kim", "pa&ss=1"));
    EXPECT_EQ(keyring->secrets.count("dr.lee"), 0u);
    EXPECT_EQ(keyring->secrets["dr.kim"], "pa&ss=1");
}

TEST_F(KeyringProfile, AnOlderFileKeepsWorkingAndMovesAtTheNextSave)
{
    SaveSettings(*file, Author("dr.lee", "old"));  // written before the keyring
    EXPECT_EQ(LoadSettings(profile).Password, "old");

    keyring->refusal = ISecretStore::Result::Unavailable;  // the first Save finds no keyring
    SaveSettings(profile, Author("dr.lee", "new"));
    SaveSettings(profile, Author("dr.lee", "new"));
    EXPECT_TRUE(FileHasPassword());
    EXPECT_EQ(file->GetProfileString(A, "Password"), "new");
    EXPECT_EQ(LoadSettings(profile).Password, "new");
    ASSERT_EQ(notices.size(), 1u) << "said once, not at every save";
    EXPECT_EQ(notices[0],
              "the desktop has no keyring: the password stays in the settings file "
              "(the collection is locked)");

    keyring->refusal = ISecretStore::Result::Ok;  // one answers later: the next Save moves it
    SaveSettings(profile, Author("dr.lee", "new"));
    EXPECT_FALSE(FileHasPassword());
    EXPECT_EQ(keyring->secrets["dr.lee"], "new");
    EXPECT_EQ(LoadSettings(profile).Password, "new");
}

TEST_F(KeyringProfile, AKeyringThatStopsAnsweringLosesNothingButThePasswordField)
{
    SaveSettings(profile, Author("dr.lee", "secret"));
    keyring->refusal = ISecretStore::Result::Unavailable;
    auto again = Restarted();
    const CSettings loaded = LoadSettings(*again);
    EXPECT_EQ(loaded.Password, "") << "asks for it again rather than failing the login";
    EXPECT_FALSE(loaded.PasswordLocked) << "no keyring at all is not a locked one";
    EXPECT_EQ(loaded.Author, "dr.lee");
    EXPECT_EQ(keyring->secrets["dr.lee"], "secret");
    LoadSettings(*again);
    ASSERT_EQ(notices.size(), 1u) << "why the field is empty, said once";
    EXPECT_EQ(notices[0], "the desktop's keyring did not answer: type the password again in "
                          "Configuration (the collection is locked)");
}

// A locked keyring (a dismissed prompt, KWallet still in its first-run wizard) is asked once,
// again only when told to, and an empty field saved meanwhile does not replace the password.
TEST_F(KeyringProfile, ALockedKeyringIsAskedOnceAndKeepsThePassword)
{
    SaveSettings(profile, Author("dr.lee", "secret"));
    keyring->refusal = ISecretStore::Result::Locked;
    auto again = Restarted();
    keyring->reads = 0;
    CSettings loaded;
    for (int i = 0; i < 3; ++i) loaded = LoadSettings(*again);
    EXPECT_EQ(keyring->reads, 1);
    EXPECT_TRUE(loaded.PasswordLocked);
    EXPECT_EQ(loaded.Password, "");
    EXPECT_TRUE(notices.empty()) << "the agent state says it, as long as it lasts";

    SaveSettings(*again, loaded);  // Configuration saved with the empty field
    EXPECT_EQ(keyring->secrets["dr.lee"], "secret");
    EXPECT_FALSE(again->HasProfileValue(A, "Password"));

    again->RetryLocked();
    LoadSettings(*again);
    EXPECT_EQ(keyring->reads, 2);
    keyring->refusal = ISecretStore::Result::Ok;  // unlocked
    EXPECT_TRUE(LoadSettings(*again).PasswordLocked) << "not asked until told";
    again->RetryLocked();
    loaded = LoadSettings(*again);
    EXPECT_FALSE(loaded.PasswordLocked);
    EXPECT_EQ(loaded.Password, "secret");
}

TEST_F(KeyringProfile, ANewLoginIdMovesThePasswordOnlyOnceTheKeyringHasIt)
{
    SaveSettings(profile, Author("dr.lee", "old"));
    keyring->refuseWrites = true;
    SaveSettings(profile, Author("dr.kim", "new"));
    EXPECT_EQ(keyring->secrets["dr.lee"], "old") << "the old entry stays until the new one is in";
    EXPECT_EQ(file->GetProfileString(A, "Password"), "new");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind("the keyring is locked: the password stays in the settings file", 0),
              0u)
        << notices[0];
}
