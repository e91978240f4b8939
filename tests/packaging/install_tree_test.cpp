#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kAppId = QStringLiteral(ORBIDEX_APP_ID);

struct ToolRun {
    int code = -1;
    QString output;
};

ToolRun RunTool(const QString& program, const QStringList& args,
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAll())};
}

// One DESTDIR install of the build, shared by the cases below.
class InstallTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dest = new QTemporaryDir();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), s_dest->path());
        s_install =
            new ToolRun(RunTool(QStringLiteral(ORBIDEX_CMAKE),
                                {QStringLiteral("--install"), QStringLiteral(ORBIDEX_BUILD_DIR),
                                 QStringLiteral("--prefix"), QStringLiteral("/usr")},
                                env));
    }
    static void TearDownTestSuite()
    {
        delete s_install;
        delete s_dest;
    }
    void SetUp() override { ASSERT_EQ(s_install->code, 0) << s_install->output.toStdString(); }
    static QString P(const QString& rel) { return s_dest->filePath(rel); }
    static QString EntryPath()
    {
        return P(QStringLiteral("usr/share/applications/%1.desktop").arg(kAppId));
    }
    static QString AutostartPath()
    {
        return P(QStringLiteral("etc/xdg/autostart/%1.desktop").arg(kAppId));
    }

    static QTemporaryDir* s_dest;
    static ToolRun* s_install;
};
QTemporaryDir* InstallTree::s_dest = nullptr;
ToolRun* InstallTree::s_install = nullptr;

TEST_F(InstallTree, HoldsEachFileAtItsPath)
{
    const QStringList files = {
        QStringLiteral("usr/bin/orbidex"),
        QStringLiteral("usr/share/applications/%1.desktop").arg(kAppId),
        QStringLiteral("etc/xdg/autostart/%1.desktop").arg(kAppId),
        QStringLiteral("usr/share/icons/hicolor/scalable/apps/%1.svg").arg(kAppId),
        QStringLiteral("usr/share/orbidex/help/orbidex-help.html"),
        QStringLiteral("usr/share/man/man1/orbidex.1.gz"),
        QStringLiteral("usr/share/doc/orbidex/copyright"),
        QStringLiteral("usr/share/doc/orbidex/changelog.gz"),
    };
    for (const QString& f : files) EXPECT_TRUE(QFileInfo(P(f)).isFile()) << f.toStdString();
    EXPECT_TRUE(QFileInfo(P(QStringLiteral("usr/bin/orbidex"))).isExecutable());
    EXPECT_TRUE(
        QSvgRenderer(P(QStringLiteral("usr/share/icons/hicolor/scalable/apps/%1.svg").arg(kAppId)))
            .isValid());
}

TEST_F(InstallTree, HasAPngIconOfEachSizeDrawnAtThatSize)
{
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString f =
            P(QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId));
        QImage image(f);
        ASSERT_FALSE(image.isNull()) << f.toStdString();
        EXPECT_EQ(image.size(), QSize(size, size)) << f.toStdString();
        // Drawn, not blank: the centre is opaque and the corners of the rounded tile are not.
        EXPECT_EQ(image.pixelColor(size / 2, size / 2).alpha(), 255) << size;
        EXPECT_LT(image.pixelColor(0, 0).alpha(), 128) << size;
    }
}

TEST_F(InstallTree, DesktopEntriesValidate)
{
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    ASSERT_FALSE(validator.isEmpty()) << "desktop-file-validate missing (tools/setup installs it)";
    for (const QString& f : {EntryPath(), AutostartPath()}) {
        const ToolRun r = RunTool(validator, {f});
        EXPECT_EQ(r.code, 0) << f.toStdString() << "\n" << r.output.toStdString();
        EXPECT_TRUE(r.output.trimmed().isEmpty()) << r.output.toStdString();
    }
}

TEST_F(InstallTree, EntriesShareOneIdAndStartTheInstalledProgram)
{
    // A user's ~/.config/autostart file of the same name (Hidden=true) overrides the system
    // one only when the names match.
    EXPECT_EQ(QFileInfo(EntryPath()).fileName(), QFileInfo(AutostartPath()).fileName());
    for (const QString& f : {EntryPath(), AutostartPath()}) {
        QSettings entry(f, QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        EXPECT_EQ(entry.value(QStringLiteral("Type")).toString(), QStringLiteral("Application"));
        EXPECT_EQ(entry.value(QStringLiteral("Icon")).toString(), kAppId) << f.toStdString();
        const QString exec = entry.value(QStringLiteral("Exec")).toString().section(' ', 0, 0);
        EXPECT_TRUE(QFileInfo(P(QStringLiteral("usr/bin/") + exec)).isExecutable())
            << exec.toStdString();
        // TryExec is a program, never a command line.
        EXPECT_TRUE(QFileInfo(P(QStringLiteral("usr/bin/") +
                                entry.value(QStringLiteral("TryExec")).toString()))
                        .isExecutable())
            << f.toStdString();
        EXPECT_FALSE(entry.contains(QStringLiteral("Hidden")));
        // Task bars match the window (its class is the application's name) to the entry.
        EXPECT_EQ(entry.value(QStringLiteral("StartupWMClass")).toString(),
                  QStringLiteral("Nimbrel Ravlet"));
    }
    // Only authors' sessions start it, and Startup Applications lists it, so each user can
    // turn it off there.
    QSettings autostart(AutostartPath(), QSettings::IniFormat);
    EXPECT_EQ(autostart.value(QStringLiteral("Desktop Entry/Exec")).toString(),
              QStringLiteral("orbidex --autostart"));
    EXPECT_FALSE(autostart.contains(QStringLiteral("Desktop Entry/NoDisplay")));
}

TEST_F(InstallTree, ManualPageNamesOnlyPathsOfTheInstallTree)
{
    const ToolRun man =
        RunTool(QStringLiteral("gzip"),
                {QStringLiteral("-dc"), P(QStringLiteral("usr/share/man/man1/orbidex.1.gz"))});
    ASSERT_EQ(man.code, 0) << man.output.toStdString();
    // Every absolute path the page names (an .I line), with what the build put in for it.
    QStringList paths;
    for (const QString& line : man.output.split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral(".I ")) || line.startsWith(QStringLiteral(".IR "))) {
            const QString path = line.section(QLatin1Char(' '), 1, 1);
            if (path.startsWith(QLatin1Char('/')))
                paths << path;
        }
    ASSERT_GE(paths.size(), 2) << man.output.toStdString();  // the autostart entry and the help
    EXPECT_FALSE(man.output.contains(QLatin1Char('@'))) << "an unreplaced @NAME@";
    for (const QString& path : paths)
        EXPECT_TRUE(QFileInfo(P(path.mid(1))).isFile()) << path.toStdString();
}

TEST_F(InstallTree, PackageKeepsTheAutostartEntryAsAConfigurationFile)
{
    QFile conffiles(QStringLiteral(ORBIDEX_BUILD_DIR "/packaging/conffiles"));
    ASSERT_TRUE(conffiles.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(conffiles.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0], QStringLiteral("/etc/xdg/autostart/%1.desktop").arg(kAppId));
    EXPECT_TRUE(QFileInfo(P(lines[0].mid(1))).isFile());
}

}  // namespace
