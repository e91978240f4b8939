#include "support/DialogAnswers.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/FilePickCtrl.h"
#include "ui/dialogs/FolderListing.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {
// A folder tree with names in mixed case, which title case would change.
class PickerTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = QDir(tmp.path()).canonicalPath().toStdString() + "/";
        for (const char* d :
             {"MY DOCS", "beta", "Alpha", "zeta dir", "_under", ".hidden", "MY DOCS/inner"})
            ASSERT_TRUE(QDir().mkpath(QString::fromStdString(root + d)));
        for (const char* f : {"b.txt", "A.WAV", "noext", ".dotfile"}) {
            QFile file(QString::fromStdString(root + f));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }

    static std::vector<std::string> Shown(const std::vector<CPickEntry>& rows)
    {
        std::vector<std::string> out;
        for (const auto& r : rows) out.push_back(r.display);
        return out;
    }
    static std::vector<std::string> Rows(CFilePickCtrl& p)
    {
        std::vector<std::string> out;
        for (int i = 0; i < p.EntryList()->count(); ++i) out.push_back(p.RowText(i).toStdString());
        return out;
    }
    static QListWidgetItem* Row(CFilePickCtrl& p, const char* shown)
    {
        const auto items = p.EntryList()->findItems(shown, Qt::MatchExactly);
        return items.isEmpty() ? nullptr : items.first();
    }
    static void Select(CFilePickCtrl& p, const char* shown)
    {
        QListWidgetItem* item = Row(p, shown);
        ASSERT_NE(item, nullptr) << shown;
        p.EntryList()->setCurrentItem(item);
    }
    static void DoubleClick(CFilePickCtrl& p, const char* shown)
    {
        QListWidgetItem* item = Row(p, shown);
        ASSERT_NE(item, nullptr) << shown;
        emit p.EntryList()->itemDoubleClicked(item);
    }
    static QString CurrentBox(CFilePickCtrl& p)
    {
        return static_cast<QLineEdit*>(p.GetDlgItem(2002))->text();
    }

    CDialogAnswers answers;
    QTemporaryDir tmp;
    std::string root;
};
}  // namespace

TEST(PickerText, TitleCase)
{
    EXPECT_EQ(TitleCase("MY FILES"), "My Files");
    EXPECT_EQ(TitleCase("my files"), "My Files");
    EXPECT_EQ(TitleCase("a-b c"), "A-b C");
    EXPECT_EQ(TitleCase("2nd  take"), "2nd  Take");
    EXPECT_EQ(TitleCase("\xC3\x89T\xC3\x89 x"), "\xC3\x89t\xC3\x89 X");  // bytes above ASCII kept
}

TEST(PickerText, FolderArithmetic)
{
    EXPECT_EQ(ParentFolder("/data/work/"), "/data/");
    EXPECT_EQ(ParentFolder("/data/"), "/");
    EXPECT_EQ(ParentFolder("/"), "/");
    EXPECT_EQ(ParentFolder("C:\\Data\\Work\\"), "C:\\Data\\");
    EXPECT_EQ(ParentFolder("C:\\"), "C:\\");
    EXPECT_TRUE(IsRootFolder("/"));
    EXPECT_TRUE(IsRootFolder("C:\\"));
    EXPECT_FALSE(IsRootFolder("/a/"));
    EXPECT_EQ(FileTypePattern("All files (*.*)"), "*.*");
    EXPECT_EQ(FileTypePattern("Audio (a) (*.wav)"), "*.wav");
    EXPECT_EQ(FileTypePattern("none"), "");
}

TEST(PickerText, RefusesAFolderLongerThan1023Bytes)
{
    std::string folder = "/" + std::string(1015, 'a') + "/";  // 1017 bytes
    EXPECT_TRUE(AppendFolder(folder, "bcdef"));               // 1023: still fits
    EXPECT_EQ(folder.size(), 1023u);
    const std::string before = folder;
    EXPECT_FALSE(AppendFolder(folder, ""));
    EXPECT_EQ(folder, before);
}

TEST_F(PickerTree, ListsFoldersThenFilesEachSortedByteWise)
{
    const auto rows = ListPickFolder(root, true, "*.*");
    EXPECT_EQ(Shown(rows), (std::vector<std::string>{"[.. Parent Directory]", "Alpha", "MY DOCS",
                                                     "_under", "beta", "zeta dir", ".dotfile",
                                                     "A.WAV", "b.txt", "noext"}));
    EXPECT_EQ(rows[0].marker, kMarkParent);
    EXPECT_EQ(rows[2].name, "MY DOCS");
    EXPECT_TRUE(IsFolderLike(rows[2].marker));
    EXPECT_FALSE(IsFolderLike(rows[7].marker));
    EXPECT_EQ(Shown(ListPickFolder(root, false, "*.*")).size(), 6u);
    EXPECT_EQ(Shown(ListPickFolder(root, true, "*.wav")).back(), "A.WAV");  // any case
    EXPECT_EQ(Shown(ListPickFolder(root + "gone/", true, "*.*")),
              std::vector<std::string>{"[.. Parent Directory]"});
    EXPECT_EQ(ListPickFolder("/", false, "").front().marker, kMarkRoot);
}

// Title case only where the other spelling reaches the same entry, as on a case-insensitive
// file system; a hard link of the other spelling stands in for one. A symbolic link does not.
TEST_F(PickerTree, TitleCaseOnlyWhereCaseDoesNotMatter)
{
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(root + "ci")));
    ASSERT_EQ(link((root + "b.txt").c_str(), (root + "ci/mIXED name.txt").c_str()), 0);
    ASSERT_EQ(link((root + "b.txt").c_str(), (root + "ci/Mixed NAME.TXT").c_str()), 0);
    ASSERT_EQ(symlink("b.txt", (root + "B.TXT").c_str()), 0);
    EXPECT_TRUE(FolderIsCaseSensitive(root, "b.txt"));
    EXPECT_TRUE(FolderIsCaseSensitive(root, "MY DOCS"));
    EXPECT_FALSE(FolderIsCaseSensitive(root + "ci/", "mIXED name.txt"));
    EXPECT_EQ(
        Shown(ListPickFolder(root + "ci/", true, "*.*")),
        (std::vector<std::string>{"[.. Parent Directory]", "Mixed Name.txt", "Mixed Name.txt"}));
}

TEST_F(PickerTree, NavigatesByStoredNameAndBackUp)
{
    CFilePickCtrl picker;
    picker.SetCurrentFolder(root);
    answers.On<CFilePickCtrl>([&](CFilePickCtrl& p) {
        EXPECT_EQ(p.windowTitle(), "Select Folder");
        EXPECT_EQ(CurrentBox(p).toStdString(), root);
        EXPECT_EQ(p.RowMarker(0), kMarkParent);
        DoubleClick(p, "MY DOCS");
        EXPECT_EQ(p.GetSelectedFolder(), root + "MY DOCS/");
        EXPECT_EQ(CurrentBox(p).toStdString(), root + "MY DOCS/");
        EXPECT_EQ(Rows(p), (std::vector<std::string>{"[.. Parent Directory]", "inner"}));
        DoubleClick(p, "[.. Parent Directory]");
        EXPECT_EQ(p.GetSelectedFolder(), root);
        DoubleClick(p, "b.txt");  // a file: nothing happens
        EXPECT_EQ(p.GetSelectedFolder(), root);
        p.done(IDOK);
    });
    EXPECT_EQ(picker.RunModal("Select Folder"), IDOK);
    EXPECT_EQ(picker.GetSelectedFolder(), root);
}

TEST_F(PickerTree, OkTakesTheSelectedFolderOnlyWithDirectoriesOnly)
{
    CFilePickCtrl picker;
    picker.SetCurrentFolder(root);
    answers.On<CFilePickCtrl>([&](CFilePickCtrl& p) {
        Select(p, "beta");
        p.accept();
    });
    EXPECT_EQ(picker.RunModal("Select Folder"), IDOK);
    EXPECT_EQ(picker.GetSelectedFolder(), root);

    answers.On<CFilePickCtrl>([&](CFilePickCtrl& p) {
        EXPECT_FALSE(static_cast<QCheckBox*>(p.GetDlgItem(1003))->isChecked());
        static_cast<QCheckBox*>(p.GetDlgItem(1003))->click();
        EXPECT_TRUE(p.DirectoriesOnly());
        EXPECT_TRUE(p.GetDlgItem(2004)->isHidden());
        EXPECT_TRUE(p.GetDlgItem(2006)->isHidden());
        EXPECT_EQ(Row(p, "b.txt"), nullptr);
        Select(p, "beta");
        p.accept();
    });
    EXPECT_EQ(picker.RunModal("Select Folder"), IDOK);
    EXPECT_EQ(picker.GetSelectedFolder(), root + "beta/");

    // A new run starts where the last confirmed one ended, with files listed again.
    answers.On<CFilePickCtrl>([&](CFilePickCtrl& p) {
        EXPECT_FALSE(p.DirectoriesOnly());
        static_cast<QCheckBox*>(p.GetDlgItem(1003))->click();
        Select(p, "[.. Parent Directory]");
        p.accept();
    });
    EXPECT_EQ(picker.RunModal("Select Folder"), IDOK);
    EXPECT_EQ(picker.GetSelectedFolder(), root);
}

TEST_F(PickerTree, CancelRestoresTheOpeningFolderForTheNextRun)
{
    CFilePickCtrl picker;
    picker.SetCurrentFolder(root);
    answers.On<CFilePickCtrl>([&](CFilePickCtrl& p) {
        DoubleClick(p, "Alpha");
        EXPECT_EQ(p.GetSelectedFolder(), root + "Alpha/");
        p.reject();
    });
    EXPECT_EQ(picker.RunModal("Select Folder"), IDCANCEL);
    EXPECT_EQ(picker.GetSelectedFolder(), root);
    std::string startedIn;
    answers.On<CFilePickCtrl>([&](CFilePickCtrl& p) {
        startedIn = CurrentBox(p).toStdString();
        DoubleClick(p, "zeta dir");
    });  // left open: the close box
    EXPECT_EQ(picker.RunModal("Select Download Folder"), IDCANCEL);
    EXPECT_EQ(startedIn, root);
    EXPECT_EQ(picker.GetSelectedFolder(), root);
}

TEST_F(PickerTree, OpensAtTheRowsFolderElseHomeWithHomeFirstAmongThePlaces)
{
    const std::string home = QDir::homePath().toStdString() + "/";
    EXPECT_EQ(CFilePickCtrl().GetSelectedFolder(), home);
    const struct {
        QString given;
        std::string opensAt;
    } cases[] = {
        {QString::fromStdString(root + "Alpha"), root + "Alpha/"},  // without its separator
        {QString::fromStdString(root + "MY DOCS/"), root + "MY DOCS/"},
        {QString::fromStdString(root + "gone/"), home},  // no such folder
        {QString::fromStdString(root + "b.txt"), home},  // a file
        {QString(), home},
    };
    for (const auto& c : cases) {
        CFilePickCtrl picker;
        picker.SetCurrentFolder(root);
        picker.OpenAt(c.given);
        EXPECT_EQ(picker.GetSelectedFolder(), c.opensAt) << c.given.toStdString();
    }
    CFilePickCtrl picker;
    answers.On<CFilePickCtrl>([&](CFilePickCtrl& p) {
        auto* places = static_cast<QComboBox*>(p.GetDlgItem(2000));
        ASSERT_GE(places->count(), 1);
        EXPECT_EQ(places->itemText(0), "Home");
        EXPECT_EQ(places->currentIndex(), 0);  // home holds the folder shown
        for (int i = 0; i < places->count(); ++i)
            EXPECT_NE(places->itemData(i).toByteArray(), "/") << "the system's root is no place";
        p.SetCurrentFolder(root);
        p.OnSelChangePlace(0);
        EXPECT_EQ(p.GetSelectedFolder(), home);
        p.accept();
    });
    EXPECT_EQ(picker.RunModal("Select Folder"), IDOK);
    EXPECT_EQ(picker.GetSelectedFolder(), home);
}

// Return in the path box goes to the folder typed there and keeps the picker open; OK takes
// a typed folder, and neither accepts a path that names no folder.
TEST_F(PickerTree, ATypedFolderIsGoneToNotAccepted)
{
    CFilePickCtrl picker;
    picker.SetCurrentFolder(root);
    answers.On<CFilePickCtrl>([&](CFilePickCtrl& p) {
        auto* box = static_cast<QLineEdit*>(p.GetDlgItem(2002));
        EXPECT_FALSE(box->isReadOnly());
        box->setText(QString::fromStdString(root + "zeta dir"));
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_TRUE(p.isVisible());
        EXPECT_EQ(p.GetSelectedFolder(), root + "zeta dir/");
        EXPECT_EQ(CurrentBox(p).toStdString(), root + "zeta dir/");
        EXPECT_EQ(p.RowText(0), "[.. Parent Directory]");
        box->setText(QString::fromStdString(root + "nowhere"));
        QTest::keyClick(box, Qt::Key_Enter);
        p.accept();
        EXPECT_TRUE(p.isVisible()) << "closed on a folder that does not exist";
        EXPECT_EQ(p.GetSelectedFolder(), root + "zeta dir/");
        box->setText(QString::fromStdString(root + "MY DOCS/inner"));
        p.accept();
    });
    EXPECT_EQ(picker.RunModal("Select Download Folder"), IDOK);
    EXPECT_EQ(picker.GetSelectedFolder(), root + "MY DOCS/inner/");
}
