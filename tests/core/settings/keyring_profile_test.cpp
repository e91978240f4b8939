#include "core/settings/KeyringProfile.h"
#include "core/settings/Settings.h"
#include "support/MemoryProfileStore.h"

#include <gtest/gtest.h>
#include <map>

namespace {
const std::string A = kSectionAuthor;

// A keyring that can be switched off, as a locked or missing one is.
struct CFakeKeyring final : ISecretStore {
    std::map<std::string, std::string> secrets;
    bool answers = true;
    Result Read(const std::string& account, std::string& secret) override
    {
        if (!answers)
            return Result::Unavailable;
        auto it = secrets.find(account);
        if (it == secrets.end())
            return Result::NotFound;
        secret = it->second;
        return Result::Ok;
    }
    Result Write(const std::string& account, const std::string& secret) override
    {
        if (!answers)
            return Result::Unavailable;
        secrets[account] = secret;
        return Result::Ok;
    }
    Result Remove(const std::string& account) override
    {
        if (!answers)
            return Result::Unavailable;
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

    static CSettings Author(const std::string& login, const std::string& password)
    {
        CMemoryProfileStore none;
        CSettings s = LoadSettings(none);  // the defaults a load gives
        s.Dir[0] = "/home/a/dictations/";
        s.Ext[0] = "dss";
        s.Author = login;
        s.Password = password;
        s.PollTime = 5;
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

    keyring->answers = false;  // the first Save finds the keyring locked: the file keeps it
    SaveSettings(profile, Author("dr.lee", "new"));
    SaveSettings(profile, Author("dr.lee", "new"));
    EXPECT_TRUE(FileHasPassword());
    EXPECT_EQ(file->GetProfileString(A, "Password"), "new");
    EXPECT_EQ(LoadSettings(profile).Password, "new");
    ASSERT_EQ(notices.size(), 1u) << "said once, not at every save";
    EXPECT_EQ(notices[0],
              "the desktop has no keyring: the password stays in the settings file "
              "(the collection is locked)");

    keyring->answers = true;  // unlocked later: the next Save moves it
    SaveSettings(profile, Author("dr.lee", "new"));
    EXPECT_FALSE(FileHasPassword());
    EXPECT_EQ(keyring->secrets["dr.lee"], "new");
    EXPECT_EQ(LoadSettings(profile).Password, "new");
}

TEST_F(KeyringProfile, AKeyringThatStopsAnsweringLosesNothingButThePasswordField)
{
    SaveSettings(profile, Author("dr.lee", "secret"));
    keyring->answers = false;
    const CSettings loaded = LoadSettings(profile);
    EXPECT_EQ(loaded.Password, "") << "asks for it again rather than failing the login";
    EXPECT_EQ(loaded.Author, "dr.lee");
    EXPECT_EQ(keyring->secrets["dr.lee"], "secret");
    LoadSettings(profile);
    ASSERT_EQ(notices.size(), 1u) << "why the field is empty, said once";
    EXPECT_EQ(notices[0], "the desktop's keyring did not answer: type the password again in "
                          "Configuration (the collection is locked)");
}
