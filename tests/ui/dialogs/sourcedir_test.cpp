#include "support/DialogAnswers.h"
#include "support/MemoryProfileStore.h"
#include "support/FakeService.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/FilePickCtrl.h"
#include "ui/dialogs/SourceDir.h"
#include "ui/dialogs/WarnExt.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QDir>
#include <gtest/gtest.h>

namespace {
const char* kSrc = kSectionSource;
const char* kAuth = kSectionAuthor;

class ConfigDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        endpoints.httpOrigin = "http://127.0.0.1:7";
        endpoints.httpBareOrigin = "http://localhost:7";
        net.pages[""] = {"dss, wav, rtf"};
        answers.OnMessageBox([this](const QString& text, const QString& caption) {
            boxes.push_back(text.toStdString());
            captions.push_back(caption.toStdString());
        });
        answers.On<WarnExt>([this](WarnExt& d) {
            ++warnings;
            d.done(IDOK);
        });
    }
    // Opens the dialog on the profile and lets `act` work it as a user; returns the result.
    int Run(const std::function<void(SourceDir&)>& act)
    {
        SourceDir dlg(profile, &net, endpoints);
        answers.On<SourceDir>(act);
        return dlg.DoModal();
    }
    static void Type(SourceDir& d, int id, const char* text) { d.Edit(id)->setText(text); }
    static void Click(SourceDir& d, int id)
    {
        static_cast<QAbstractButton*>(d.GetDlgItem(id))->click();
    }
    std::string Str(const char* section, const char* key)
    {
        return profile.strings[{section, key}];
    }
    int32_t Int(const char* section, const char* key) { return profile.ints[{section, key}]; }

    CDialogAnswers answers;
    CMemoryProfileStore profile;
    CFakeService net;
    CEndpoints endpoints;
    std::vector<std::string> boxes;
    std::vector<std::string> captions;
    int warnings = 0;
};
}  // namespace

TEST_F(ConfigDialog, OpensWithTheStoredValuesAndTheBareHostList)
{
    profile.strings[{kSrc, "Dir3"}] = "/data/in/";
    profile.strings[{kSrc, "Ext3"}] = "dss";
    profile.strings[{kSrc, "TDir"}] = "/data/out/";
    profile.strings[{kAuth, "Author"}] = "ab12";
    profile.strings[{kAuth, "Password"}] = "pw";
    profile.ints[{kAuth, "Poll Time"}] = 5;
    profile.ints[{kAuth, "Show Config"}] = 7;
    bool focusOnFolder1 = false;
    Run([&](SourceDir& d) {
        EXPECT_EQ(d.windowTitle(), "Orbidex - Configuration");
        EXPECT_EQ(d.Edit(1026)->text(), "/data/in/");
        EXPECT_EQ(d.Edit(1030)->text(), "dss");
        EXPECT_EQ(d.Edit(1013)->text(), "wav");
        EXPECT_EQ(d.Edit(1051)->text(), "/data/out/");
        EXPECT_EQ(d.Edit(1021)->text(), "ab12");
        EXPECT_EQ(d.Edit(1034)->text(), "pw");
        EXPECT_EQ(d.Edit(1034)->echoMode(), QLineEdit::Password);
        EXPECT_EQ(d.Edit(1024)->text(), "5");
        EXPECT_TRUE(d.Check(1033)->isChecked());
        EXPECT_FALSE(d.Check(1046)->isChecked());
        EXPECT_FALSE(d.Check(1050)->isChecked());
        EXPECT_EQ(d.ValidExtensions(), "dss, wav, rtf");
        focusOnFolder1 = d.focusWidget() == d.Edit(1012);
    });
    EXPECT_TRUE(focusOnFolder1);
    EXPECT_EQ(net.Urls(),
              std::vector<std::string>{"http://localhost:7/nimbrel/extverify.php?ext="});
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ConfigDialog, SaveWritesEveryValueInTheStoreOrder)
{
    EXPECT_EQ(Run([](SourceDir& d) {
                  Type(d, 1038, "/ten/");
                  Type(d, 1042, "rtf");
                  Type(d, 1021, "ab12");
                  Type(d, 1034, "p&w");
                  Type(d, 1024, " 15 ");
                  Click(d, 1033);  // first run: Show Config 1, so this clears it
                  Click(d, IDOK);
              }),
              IDOK);
    std::vector<std::string> expected;
    for (const char* stem : {"Dir", "Ext"})
        for (int n = 1; n <= 10; ++n)
            expected.push_back(std::string("Source Directories/") + stem + std::to_string(n));
    for (const char* key :
         {"Source Directories/PASV", "Source Directories/TDir", "Author Details/Author",
          "Author Details/Password", "Author Details/Poll Time", "Author Details/Show Config",
          "Author Details/AutoDownLoad", "Author Details/Arrival Notices"})
        expected.push_back(key);
    EXPECT_EQ(profile.writes, expected);
    EXPECT_EQ(Str(kSrc, "Dir10"), "/ten/");
    EXPECT_EQ(Str(kSrc, "Ext10"), "rtf");
    EXPECT_EQ(Str(kSrc, "Ext1"), "wav");
    EXPECT_EQ(Str(kSrc, "Dir1"), "");
    EXPECT_EQ(Str(kAuth, "Password"), "p&w");
    EXPECT_EQ(Int(kAuth, "Poll Time"), 15);
    EXPECT_EQ(Int(kAuth, "Show Config"), 0);
    EXPECT_EQ(warnings, 0);
}

TEST_F(ConfigDialog, CancelWritesNothingEvenAfterAPickedFolder)
{
    answers.On<CFilePickCtrl>([](CFilePickCtrl& p) {
        p.SetCurrentFolder("/tmp/");
        p.done(IDOK);
    });
    EXPECT_EQ(Run([](SourceDir& d) {
                  Click(d, 1015);
                  EXPECT_EQ(d.Edit(1012)->text(), "/tmp/");
                  Click(d, IDCANCEL);
              }),
              IDCANCEL);
    EXPECT_TRUE(profile.writes.empty());
}

TEST_F(ConfigDialog, AutoDownloadTwoSurvivesUntilClicked)
{
    profile.ints[{kAuth, "AutoDownLoad"}] = 2;
    Run([](SourceDir& d) {
        EXPECT_FALSE(d.Check(1046)->isChecked());
        Click(d, IDOK);
    });
    EXPECT_EQ(Int(kAuth, "AutoDownLoad"), 2);

    Run([](SourceDir& d) {
        Click(d, 1046);
        EXPECT_FALSE(d.Check(1046)->isChecked());
        EXPECT_EQ(d.AutoDownLoadValue(), 0);
        Click(d, IDOK);
    });
    EXPECT_EQ(Int(kAuth, "AutoDownLoad"), 0);

    profile.ints[{kAuth, "AutoDownLoad"}] = 3;
    Run([](SourceDir& d) {
        Click(d, 1046);
        Click(d, 1046);
        EXPECT_TRUE(d.Check(1046)->isChecked());
        Click(d, IDOK);
    });
    EXPECT_EQ(Int(kAuth, "AutoDownLoad"), 1);
}

TEST_F(ConfigDialog, TheFirstSaveUnticksStartUpUnlessTheAuthorTickedIt)
{
    for (const int clicks : {0, 2}) {
        profile.ints.clear();
        Run([clicks](SourceDir& d) {
            EXPECT_TRUE(d.Check(1033)->isChecked());
            for (int i = 0; i < clicks; ++i) Click(d, 1033);
            Click(d, IDOK);
        });
        EXPECT_EQ(Int(kAuth, "Show Config"), clicks == 0 ? 0 : 1);
    }
    Run([](SourceDir& d) { Click(d, IDOK); });  // saved once: left as stored
    EXPECT_EQ(Int(kAuth, "Show Config"), 1);
}

TEST_F(ConfigDialog, PassiveFiveShowsCheckedAndOneClickGivesZero)
{
    profile.ints[{kSrc, "PASV"}] = 5;
    Run([](SourceDir& d) {
        EXPECT_TRUE(d.Check(1050)->isChecked());
        Click(d, IDOK);
    });
    EXPECT_EQ(Int(kSrc, "PASV"), 5);
    Run([](SourceDir& d) {
        Click(d, 1050);
        EXPECT_FALSE(d.Check(1050)->isChecked());
        Click(d, IDOK);
    });
    EXPECT_EQ(Int(kSrc, "PASV"), 0);
    Run([](SourceDir& d) {
        Click(d, 1050);
        Click(d, IDOK);
    });
    EXPECT_EQ(Int(kSrc, "PASV"), 1);
}

TEST_F(ConfigDialog, NonIntegerPollingTimeStopsTheSaveAndKeepsTheTyping)
{
    profile.ints[{kAuth, "Poll Time"}] = 5;
    bool stayedOpen = false;
    bool focusOnPoll = false;
    Run([&](SourceDir& d) {
        Type(d, 1024, "5m");
        Type(d, 1034, "typed after");
        Type(d, 1014, "/six/");
        Click(d, IDOK);
        stayedOpen = d.isVisible();
        focusOnPoll = d.focusWidget() == d.Edit(1024);
        EXPECT_EQ(d.Edit(1024)->text(), "5m");
        EXPECT_EQ(d.Edit(1034)->text(), "typed after");
        EXPECT_EQ(d.Edit(1014)->text(), "/six/");
        // The exchange stopped at the polling time: the fields after it are unchanged.
        EXPECT_EQ(d.Fields().Password, "");
        EXPECT_EQ(d.Fields().Dir[5], "");
        EXPECT_EQ(d.Fields().PollTime, 5);
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(focusOnPoll);
    EXPECT_EQ(boxes, std::vector<std::string>{"Please enter an integer."});
    EXPECT_EQ(captions, std::vector<std::string>{"Nimbrel Ravlet"});
    EXPECT_EQ(warnings, 0);
    EXPECT_TRUE(profile.writes.empty());
}

TEST_F(ConfigDialog, PollingTimeMustBeAWholeThirtyTwoBitNumber)
{
    for (const char* bad : {"", " ", "1.5", "abc", "99999999999", "--1", "+-1", "+", "1 2"}) {
        boxes.clear();
        Run([&](SourceDir& d) {
            Type(d, 1024, bad);
            Click(d, IDOK);
        });
        EXPECT_EQ(boxes.size(), 1u) << '"' << bad << '"';
    }
    EXPECT_TRUE(profile.writes.empty());
    Run([](SourceDir& d) {
        Type(d, 1024, "-3");
        Click(d, IDOK);
    });
    EXPECT_EQ(Int(kAuth, "Poll Time"), -3);
    Run([](SourceDir& d) {
        Type(d, 1024, " +7 ");
        Click(d, IDOK);
    });
    EXPECT_EQ(Int(kAuth, "Poll Time"), 7);
}

TEST_F(ConfigDialog, LeadingBlanksAreTrimmedAndStored)
{
    Run([](SourceDir& d) {
        Type(d, 1016, " \t wav");
        Click(d, IDOK);
    });
    EXPECT_EQ(Str(kSrc, "Ext6"), "wav");
    EXPECT_EQ(warnings, 0);
}

TEST_F(ConfigDialog, RefusedRowSevenWarnsOnceAndFocusesItsBox)
{
    bool focusOn1039 = false;
    Run([&](SourceDir& d) {
        Type(d, 1039, "WAV");
        Click(d, IDOK);
        focusOn1039 = d.focusWidget() == d.Edit(1039);
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_EQ(warnings, 1);
    EXPECT_TRUE(focusOn1039);
    EXPECT_TRUE(profile.writes.empty());
}

TEST_F(ConfigDialog, EveryRowIsCheckedAndOnlyTheFirstRefusedIsReported)
{
    std::vector<QWidget*> focused;
    Run([&](SourceDir& d) {
        Type(d, 1029, "wa");  // row 2
        Type(d, 1032, "");    // row 5, no folder either
        Click(d, IDOK);
        focused.push_back(d.focusWidget());
        Type(d, 1029, "  wav");
        Click(d, IDOK);
        focused.push_back(d.focusWidget());
        EXPECT_EQ(d.Edit(1029)->text(), "wav");  // shown trimmed
        Type(d, 1032, "rtf");
        Click(d, IDOK);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(focused[0], d.Edit(1029));
        EXPECT_EQ(focused[1], d.Edit(1032));
    });
    EXPECT_EQ(warnings, 2);
    EXPECT_EQ(Str(kSrc, "Ext2"), "wav");
    EXPECT_EQ(Str(kSrc, "Ext5"), "rtf");
}

TEST_F(ConfigDialog, BrowseSetsOnlyItsFolderAndKeepsWhatWasTyped)
{
    std::vector<std::string> titles;
    std::string answer = "/picked/";
    bool cancel = false;
    std::vector<std::string> openedAt;
    answers.On<CFilePickCtrl>([&](CFilePickCtrl& p) {
        titles.push_back(p.windowTitle().toStdString());
        openedAt.push_back(p.GetSelectedFolder());
        p.SetCurrentFolder(answer);
        p.done(cancel ? IDCANCEL : IDOK);
    });
    Run([&](SourceDir& d) {
        Type(d, 1021, "typed id");
        Type(d, 1034, "typed pw");
        Type(d, 1012, "/typed/");
        Click(d, 1045);  // Browse 1&0
        EXPECT_EQ(d.Edit(1038)->text(), "/picked/");
        answer = "/down/";
        Click(d, 1052);
        EXPECT_EQ(d.Edit(1051)->text(), "/down/");
        cancel = true;
        Type(d, 1025, "/tmp");  // the picker opens at the row's folder
        Click(d, 1017);
        EXPECT_EQ(d.Edit(1025)->text(), "/tmp");
        for (auto [id, text] : {std::pair{1021, "typed id"}, {1034, "typed pw"}, {1012, "/typed/"}})
            EXPECT_EQ(d.Edit(id)->text(), text) << id;
        Click(d, IDOK);
    });
    EXPECT_EQ(titles, (std::vector<std::string>{"Select Folder", "Select Download Folder",
                                                "Select Folder"}));
    const std::string home = QDir::homePath().toStdString() + "/";
    EXPECT_EQ(openedAt, (std::vector<std::string>{home, home, "/tmp/"}));  // empty rows: home
    EXPECT_EQ(Str(kAuth, "Author"), "typed id");
}

// Without the service's list a Save trusts only extensions unchanged since the last Save, and
// the warning for any other says the list could not be had. A list that came, even empty,
// decides alone.
TEST_F(ConfigDialog, WithoutTheListOnlySavedExtensionsPass)
{
    const char* kNoList = "Internet Not availabe to get valid file extensions.";
    struct Case {
        const char* list;  // null: unreachable; "!": no internet at all
        bool savedBefore;
        const char* ext3;  // typed in row 3, null: left alone
        int refusedBox;    // 0: saved
        const char* warning;
    } const cases[] = {
        {nullptr, true, nullptr, 0, ""},
        {nullptr, true, " dss", 0, ""},
        {nullptr, true, "rtf", 1030, kNoList},
        {nullptr, false, nullptr, 1013, kNoList},
        {"!", false, nullptr, 1013, kNoList},
        {"", true, nullptr, 1013, "Valid File Extensions are: "},
    };
    for (const Case& c : cases) {
        profile = {};
        for (int n = 1; c.savedBefore && n <= 10; ++n)
            profile.strings[{kSrc, "Ext" + std::to_string(n)}] = n == 3 ? "dss" : "wav";
        profile.strings[{kSrc, "Dir3"}] = "/in/";
        net.pages.clear();
        if (c.list && *c.list != '!')
            net.pages[""] = {c.list};
        net.failOpen = c.list && *c.list == '!';
        boxes.clear();
        std::string shown;
        answers.On<WarnExt>([&](WarnExt& w) {
            shown = static_cast<QLabel*>(w.GetDlgItem(1038))->text().toStdString();
        });
        Run([&](SourceDir& d) {
            Type(d, 1034, "new pw");
            if (c.ext3)
                Type(d, 1030, c.ext3);
            Click(d, IDOK);
            if (c.refusedBox) {
                EXPECT_EQ(d.focusWidget(), d.Edit(c.refusedBox)) << c.warning;
            }
        });
        EXPECT_EQ(profile.writes.empty(), c.refusedBox != 0) << c.warning << c.refusedBox;
        EXPECT_EQ(shown, c.warning) << c.refusedBox;
        EXPECT_EQ(boxes, net.failOpen ? std::vector<std::string>{"Internet not avaiable !!!"}
                                      : std::vector<std::string>{});
    }
    EXPECT_EQ(captions, std::vector<std::string>{"Nimbrel Ravlet"});
}

// For the keyboard and a screen reader: Tab goes through the rows by their numbers, then the
// options line by line, then Save and Cancel; each box says what it is; each label's mnemonic
// reaches its box.
TEST_F(ConfigDialog, KeyboardAndScreenReaderReachEveryBox)
{
    Run([](SourceDir& d) {
        QApplication::setActiveWindow(&d);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
        std::vector<int> order;
        for (int i = 0; i < 42; ++i) {
            order.push_back(QApplication::focusWidget()->objectName().toInt());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_EQ(order,
                  (std::vector<int>{1012, 1013, 1015, 1025, 1029, 1017, 1026, 1030, 1018, 1027,
                                    1031, 1019, 1028, 1032, 1020, 1014, 1016, 1022, 1035, 1039,
                                    1023, 1036, 1040, 1043, 1037, 1041, 1044, 1038, 1042, 1045,
                                    1046, 1050, 1051, 1052, 1021, 1034, 1024, 1033, 1060, 1,    2,
                                    1012}));
        const struct {
            int id;
            const char* name;
            Qt::Key mnemonic;  // with Alt; 0 for none
        } boxes[] = {
            {1026, "Source folder 3", Qt::Key(0)},
            {1030, "Extension for source folder 3", Qt::Key(0)},
            {1042, "Extension for source folder 10", Qt::Key(0)},
            {1046, "Automatic Download", Qt::Key_A},
            {1050, "Passive Mode", Qt::Key_M},
            {1051, "Download (to) Folder", Qt::Key_D},
            {1021, "Login ID", Qt::Key_L},
            {1034, "Password", Qt::Key_P},
            {1024, "Polling Time", Qt::Key_T},
            {1033, "Show this screen on Start-up", Qt::Key_U},
        };
        for (const auto& b : boxes) {
            QAccessibleInterface* box = QAccessible::queryAccessibleInterface(d.GetDlgItem(b.id));
            ASSERT_NE(box, nullptr) << b.id;
            EXPECT_EQ(box->text(QAccessible::Name), QString::fromLatin1(b.name)) << b.id;
            if (b.mnemonic == Qt::Key(0))
                continue;
            d.Edit(1012)->setFocus();
            QTest::keyClick(&d, b.mnemonic, Qt::AltModifier);
            EXPECT_EQ(QApplication::focusWidget(), d.GetDlgItem(b.id)) << b.name;
        }
    });
}
