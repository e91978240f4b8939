// Whole download steps against the service emulator, in passive and active mode.
#include "core/cycle/Download.h"
#include "core/ftp/FtpConnect.h"
#include "support/EmulatorSuite.h"
#include "support/Files.h"
#include "support/PassSuite.h"
#include "support/cycle_util.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sys/stat.h>
#include <sstream>

namespace fs = std::filesystem;
using orbidex::test::ServiceEmulator;

namespace {

QByteArray RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    QByteArray b(static_cast<qsizetype>(n), '\0');
    for (auto& c : b) c = static_cast<char>(rng() & 0xFF);
    return b;
}

std::vector<std::string> ConfirmedIds(const ServiceEmulator& emu)
{
    std::vector<std::string> ids;
    for (const auto& v : emu.records("confirmations")) {
        const QJsonObject c = v.toObject();
        EXPECT_TRUE(c["valid_login"].toBool());
        ids.push_back(c["fileid"].toString().toStdString());
    }
    return ids;
}

class DownloadEmulator
    : public DownloadSuite<orbidex::test::EmulatorSuite<::testing::TestWithParam<bool>>> {
protected:
    void SetUp() override
    {
        DownloadSuite::SetUp();
        s_emu->reset();
        s_emu->addAuthor("ab12", "secret");
        ep = orbidex::test::EndpointsFor(*s_emu);
        ep.supportEmail = kHelp;
        settings.Password = "secret";
        settings.PASV = GetParam() ? 1 : 0;
    }
    IInternet& Net() override { return *m_internet; }
};

// Every value of the list and confirmation requests is encoded: a password with "&" or "="
// reaches the service whole, so the list comes and the document is confirmed.
TEST_P(DownloadEmulator, LoginValuesWithQueryCharactersListAndConfirm)
{
    for (const auto& [author, password] :
         {std::pair<std::string, std::string>{"o'brien#2", "p&nbupw=x"}, {"a+b", "100% &="}}) {
        s_emu->addAuthor(author, password);
        settings.Author = author;
        settings.Password = password;
        const std::string id =
            s_emu->addPending(author, "note.rtf", QByteArray::fromStdString(author));
        Run();
        EXPECT_EQ(ReadAll(folder / "note.rtf"), author) << Window();
        ASSERT_FALSE(ConfirmedIds(*s_emu).empty()) << author;
        EXPECT_EQ(ConfirmedIds(*s_emu).back(), id) << author;
        fs::remove(folder / "note.rtf");
    }
}

TEST_P(DownloadEmulator, DownloadsByteForByteAndConfirmsEachFile)
{
    const QByteArray big = RandomBytes(300 * 1024, 1);
    const std::string id1 = s_emu->addPending("ab12", "letter.rtf", "Dear author,\r\n");
    const std::string id2 = s_emu->addPending("ab12", "dictation.wav", big);
    Run();

    EXPECT_EQ(ReadAll(folder / "letter.rtf"), "Dear author,\r\n");
    EXPECT_EQ(ReadAll(folder / "dictation.wav"), big.toStdString());
    EXPECT_EQ(Listing(folder), (std::set<std::string>{"letter.rtf", "dictation.wav"}));
    EXPECT_EQ(ConfirmedIds(*s_emu), (std::vector<std::string>{id1, id2}));
    std::vector<std::string> data;  // each file's data connection, in the mode asked for
    for (const QJsonObject& c : Objects(s_emu->records("ftp_commands")))
        if (QStringList{"EPSV", "EPRT", "PASV", "PORT"}.contains(c["cmd"].toString()))
            data.push_back(c["cmd"].toString().toStdString());
    EXPECT_EQ(data, std::vector<std::string>(2, GetParam() ? "EPSV" : "EPRT"));
    EXPECT_TRUE(s_emu->state()["pending"].toObject()["ab12"].toArray().isEmpty())
        << QJsonDocument(s_emu->state()["pending"].toObject()).toJson().toStdString();
    EXPECT_NE(Window().find("Number of File(s) to Download : 2\r\nDownloading Files\r\n"),
              std::string::npos);
    EXPECT_NE(Window().find(T() + " - 2 of 2 Downloading \"dictation.wav\" to " + settings.TDir +
                            "\r\n" + T() + " - .. Done.\r\n\r\n"),
              std::string::npos)
        << Window();
    EXPECT_EQ(Log(), "DOWNLOADing 2 files\r\n" + FormatTransferLine(clock.Now(), "letter.rtf") +
                         "\r\n" + FormatTransferLine(clock.Now(), "dictation.wav") + "\r\n");
    EXPECT_EQ(display.LastStatus(), "Orbidex - Idle");

    // Confirmed files are no longer listed.
    Run();
    EXPECT_NE(Window().rfind(T() + " No File to Download\r\n\r\n"), std::string::npos);
}

TEST_P(DownloadEmulator, AbsentFileGivesBothLinesAndIsNotConfirmed)
{
    s_emu->addMissingPending("ab12", "gone.rtf", "501");
    const std::string idOk = s_emu->addPending("ab12", "here.rtf", "here");
    Run();

    const std::string failed = T() + " - Download Failed - " +
                               GetInternetErrorText(inet::kErrExtended) +
                               ", Please inform help@test.example.";
    const std::string absent =
        T() + " - gone.rtf not found on Server. Please inform help@test.example";
    EXPECT_NE(Log().find(failed + "\r\n\r\n\r\n" + absent + "\r\n\r\n"), std::string::npos)
        << Log();
    EXPECT_NE(Window().find(failed + "\r\n\r\n" + absent + "\r\n"), std::string::npos);
    const auto status = display.StatusTexts();
    EXPECT_NE(std::find(status.begin(), status.end(), absent), status.end());
    EXPECT_EQ(ConfirmedIds(*s_emu), std::vector<std::string>{idOk});
    EXPECT_EQ(Listing(folder), std::set<std::string>{"here.rtf"});
}

// Deleted while the agent runs, with its parent: made again for the author alone.
TEST_P(DownloadEmulator, ADeletedDownloadFolderIsMadeAgainPrivate)
{
    settings.TDir = (root / "nimbrel" / "download").string() + "/";
    s_emu->addPending("ab12", "letter.rtf", "text");
    Run();
    EXPECT_EQ(ReadAll(settings.TDir + "letter.rtf"), "text") << Log();
    struct stat st {};
    ASSERT_EQ(::stat(settings.TDir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_P(DownloadEmulator, UnwritableFolderGivesOnlyTheFailureLine)
{
    std::ofstream(root / "plain") << "x";
    settings.TDir = (root / "plain").string() + "/";
    s_emu->addPending("ab12", "letter.rtf", "text");
    Run();

    EXPECT_NE(Log().find(T() + " - Download Failed - the download folder " + settings.TDir +
                         " cannot be used: Not a directory, Please inform "
                         "help@test.example.\r\n\r\n\r\n"),
              std::string::npos)
        << Log();
    EXPECT_EQ(Log().find("not found"), std::string::npos);
    EXPECT_TRUE(ConfirmedIds(*s_emu).empty());
    EXPECT_EQ(s_emu->state()["pending"].toObject()["ab12"].toArray().size(), 1);
}

TEST_P(DownloadEmulator, CutTransferKeepsTheEarlierCopy)
{
    const QByteArray fresh = RandomBytes(200 * 1024, 2);
    std::ofstream(folder / "memo.wav", std::ios::binary) << "GOOD OLD COPY";
    const std::string id = s_emu->addPending("ab12", "memo.wav", fresh);
    s_emu->setFaults(QJsonObject{{"ftp_cut", QJsonObject{{"after", 4096}, {"cmd", "RETR"}}}});
    Run();

    EXPECT_EQ(ReadAll(folder / "memo.wav"), "GOOD OLD COPY");
    EXPECT_EQ(Listing(folder), std::set<std::string>{"memo.wav"});
    EXPECT_NE(Log().find(" - Download Failed - "), std::string::npos) << Log();
    EXPECT_EQ(Log().find("not found"), std::string::npos);
    EXPECT_TRUE(ConfirmedIds(*s_emu).empty());
    const QJsonArray gets = s_emu->records("downloads");
    ASSERT_EQ(gets.size(), 1);
    EXPECT_FALSE(gets[0].toObject()["complete"].toBool());

    s_emu->clearFaults();
    Run();
    EXPECT_EQ(ReadAll(folder / "memo.wav"), fresh.toStdString());
    // The earlier copy differs from the new one: it is kept beside it, not replaced.
    const std::set<std::string> names = Listing(folder);
    ASSERT_EQ(names.size(), 2u);
    const std::string kept = *names.begin();
    EXPECT_EQ(kept.rfind("memo (kept ", 0), 0u) << kept;
    EXPECT_EQ(ReadAll(folder / kept), "GOOD OLD COPY");
    EXPECT_NE(Log().find("memo.wav differs from the copy already in "), std::string::npos);
    EXPECT_EQ(ConfirmedIds(*s_emu), std::vector<std::string>{id});

    // Listed again with the same content: nothing more to keep, only the confirmation.
    s_emu->addPending("ab12", "memo.wav", fresh, "902");
    Run();
    EXPECT_EQ(Listing(folder).size(), 2u);
    EXPECT_EQ(ConfirmedIds(*s_emu), (std::vector<std::string>{id, "902"}));
}

TEST_P(DownloadEmulator, HostileNamesAreRefusedWhileTheOthersDownload)
{
    s_emu->addPending("ab12", "ok.rtf", "fine", "77");
    s_emu->putFile("/downloads/evil.rtf", "escaped");
    const std::string body =
        "countoffiles = 3<br>\r\nSourceDir=/downloads/ab12<br>\r\n"
        "file_1 = \"../evil.rtf\"<br>\r\nfileid_1 = 75<br>\r\n"
        "file_2 = \"..\"<br>\r\nfileid_2 = 76<br>\r\n"
        "file_3 = \"ok.rtf\"<br>\r\nfileid_3 = 77<br>\r\n";
    s_emu->setFaults(QJsonObject{{"list_body", QString::fromStdString(body)}});
    Run();

    EXPECT_EQ(Listing(folder), std::set<std::string>{"ok.rtf"});
    EXPECT_FALSE(fs::exists(root / "evil.rtf"));
    EXPECT_EQ(ConfirmedIds(*s_emu), std::vector<std::string>{"77"});
    EXPECT_NE(Log().find(T() + " - Refused unsafe file name \"../evil.rtf\" from the server. "
                               "Please inform help@test.example\r\n"),
              std::string::npos)
        << Log();
    EXPECT_NE(Window().find("Refused unsafe file name \"..\""), std::string::npos);
    EXPECT_EQ(s_emu->records("downloads").size(), 1);
}

TEST_P(DownloadEmulator, EmptyTDirDownloadsIntoTheDefaultFolders)
{
    settings.TDir.clear();
    s_emu->addPending("ab12", "letter.rtf", "text");
    WithHome(root / "home", [this] { Run(); });

    const fs::path dl = root / "home" / "nimbrel" / "download";
    EXPECT_TRUE(fs::is_directory(root / "home" / "nimbrel"));
    EXPECT_EQ(ReadAll(dl / "letter.rtf"), "text");
    EXPECT_EQ(record.Snapshot().TDir, dl.string() + "/");
}

INSTANTIATE_TEST_SUITE_P(Modes, DownloadEmulator, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

}  // namespace
