// The password against a real Secret Service (a private session bus and gnome-keyring-daemon,
// unlocked with a test password), and without any keyring. CTest runs the two suites as two
// processes with no session bus: a process's first bus address is the one it keeps.
#include "core/cycle/Automation.h"
#include "core/settings/KeyringProfile.h"
#include "core/settings/Settings.h"
#include "platform/KeychainSecretStore.h"
#include "platform/QtProfileStore.h"
#include "support/KeyringSupport.h"
#include "support/RecordingDisplay.h"
#include "support/cycle_util.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
constexpr auto Author = AuthorSettings;

struct Keyring : ::testing::Test {
    QTemporaryDir dir;
    QString ini = dir.filePath(QStringLiteral("Nimbrel Ravlet.conf"));
    std::vector<std::string> notices;

    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "keyring_test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
    std::unique_ptr<CKeyringProfileStore> Profile()
    {
        return std::make_unique<CKeyringProfileStore>(
            std::make_unique<CQtProfileStore>(ini), std::make_unique<CKeychainSecretStore>(),
            [this](const std::string& t) { notices.push_back(t); });
    }
    QByteArray FileText()
    {
        QFile f(ini);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

// A session bus and an unlocked keyring of our own for the suite.
struct SecretService : Keyring {
    static inline CPrivateSecretService* service = nullptr;

    static void SetUpTestSuite()
    {
        Keyring::SetUpTestSuite();
        service = new CPrivateSecretService;
    }
    static void TearDownTestSuite()
    {
        delete service;
        service = nullptr;
    }
    void SetUp() override
    {
        if (!service->Failed().empty())
            FAIL() << service->Failed();
        if (!service->Missing().empty())
            GTEST_SKIP() << service->Missing();
    }
    static QByteArray Lookup(const QString& login)
    {
        QProcess tool;
        tool.start(QStringLiteral("secret-tool"),
                   {QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("Orbidex"),
                    QStringLiteral("user"), login});
        tool.waitForFinished(5000);
        return tool.readAllStandardOutput();
    }
};
}  // namespace

TEST_F(SecretService, SavedPasswordLivesInTheKeyringAndLoadsBack)
{
    const CSettings s = Author("dr.lee", "p&ss word");
    SaveSettings(*Profile(), s);
    EXPECT_FALSE(FileText().contains("Password")) << FileText().toStdString();
    EXPECT_TRUE(FileText().contains("Author=dr.lee"));
    EXPECT_EQ(Lookup(QStringLiteral("dr.lee")), QByteArray("p&ss word"));
    EXPECT_EQ(LoadSettings(*Profile()), s) << "a new start reads it back";
    EXPECT_TRUE(notices.empty());
}

TEST_F(SecretService, AnOlderFileMovesOnlyAtSave)
{
    {
        CQtProfileStore old(ini);
        SaveSettings(old, Author("dr.lee", "old"));
    }
    EXPECT_EQ(LoadSettings(*Profile()).Password, "old");
    EXPECT_TRUE(FileText().contains("Password=old"));
    SaveSettings(*Profile(), Author("dr.lee", "old"));
    EXPECT_FALSE(FileText().contains("Password"));
    EXPECT_EQ(Lookup(QStringLiteral("dr.lee")), QByteArray("old"));
}

// The keyring's own collection locked, as after a screen lock or a dismissed unlock prompt:
// the keyring is asked once, the password counts as unread (not as absent, not as no keyring),
// and a whole cycle sends nothing that carries it.
TEST_F(SecretService, ALockedKeyringIsAskedOnceAndNoRequestGoesWithoutThePassword)
{
    SaveSettings(*Profile(), Author("ab12", "secret"));
    QProcess lock;
    lock.start(QStringLiteral("gdbus"),
               {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                QStringLiteral("org.freedesktop.secrets"), QStringLiteral("--object-path"),
                QStringLiteral("/org/freedesktop/secrets"), QStringLiteral("--method"),
                QStringLiteral("org.freedesktop.Secret.Service.Lock"),
                QStringLiteral("['/org/freedesktop/secrets/collection/login']")});
    ASSERT_TRUE(lock.waitForFinished(5000));
    ASSERT_EQ(lock.exitCode(), 0) << lock.readAllStandardError().toStdString();

    auto profile = Profile();
    CSettings loaded = LoadSettings(*profile);
    EXPECT_TRUE(loaded.PasswordLocked);
    EXPECT_EQ(loaded.Password, "");
    EXPECT_TRUE(notices.empty()) << notices.front();
    EXPECT_FALSE(FileText().contains("Password"));

    orbidex::test::ServiceEmulator emu;
    emu.addAuthor("ab12", "secret");
    QTemporaryDir work;
    const std::string src = work.path().toStdString() + "/src/";
    QDir().mkpath(QString::fromStdString(src));
    WriteText(src + "memo.wav", "dictated");
    loaded.Dir[0] = src;
    CSettingsRecord record;
    record.Replace(loaded);
    CRecordingDisplay display(work.path().toStdString() + "/Orbidex.log");
    const std::unique_ptr<IInternet> internet = CreateInternet(emu.caFile());
    const CEndpoints endpoints = orbidex::test::EndpointsFor(emu);
    CAutomation cycle(display.Lines(), internet.get(), endpoints, record);
    cycle.StartAutomation();
    ASSERT_TRUE(WaitFor([&] { return !cycle.IsBusy(); }));
    for (const QJsonValue& r : emu.records("web_requests"))
        EXPECT_FALSE(r.toObject()["query"].toObject().contains(QStringLiteral("wp")))
            << r.toObject()["target"].toString().toStdString();
    EXPECT_TRUE(emu.records("ftp_logins").isEmpty());
    EXPECT_FALSE(fsys::IsReadOnly(src + "memo.wav")) << "waits for the keyring";
}

TEST_F(Keyring, WithoutAKeyringTheFileKeepsItAndSaysSoOnce)
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        GTEST_SKIP() << "a session bus is set; CTest runs this case without one";
    auto profile = Profile();
    SaveSettings(*profile, Author("dr.lee", "secret"));
    SaveSettings(*profile, Author("dr.lee", "secret"));
    EXPECT_TRUE(FileText().contains("Password=secret"));
    EXPECT_EQ(LoadSettings(*Profile()).Password, "secret");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind("the desktop has no keyring: the password stays in the settings file",
                               0),
              0u)
        << notices[0];
}
