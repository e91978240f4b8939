#include "platform/QtProfileStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
QString Path(const std::string& section, const std::string& key)
{
    return QString::fromUtf8(section.c_str()) + QLatin1Char('/') + QString::fromUtf8(key.c_str());
}

// A value hand-edited with commas comes back from an INI file as a list; keep it as one text.
QString AsText(const QVariant& v)
{
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}
}  // namespace

CQtProfileStore::CQtProfileStore()
    // Native format: the registry key on Windows, "<config>/Orbidex/Nimbrel Ravlet.conf" (INI)
    // elsewhere.
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Orbidex"),
                                             QStringLiteral("Nimbrel Ravlet")))
{
}

bool CQtProfileStore::HasValues() const
{
    return !m_settings->allKeys().isEmpty();
}

CQtProfileStore::CQtProfileStore(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

CQtProfileStore::~CQtProfileStore()
{
    Sync();
}

std::string CQtProfileStore::GetProfileString(const std::string& section, const std::string& key)
{
    TightenExisting();
    const QVariant v = m_settings->value(Path(section, key));
    if (!v.isValid())
        return {};
    return AsText(v).toStdString();
}

int32_t CQtProfileStore::GetProfileInt(const std::string& section, const std::string& key,
                                       int32_t def)
{
    TightenExisting();
    const QVariant v = m_settings->value(Path(section, key));
    if (!v.isValid())
        return def;
    // Stored DWORDs may come back as unsigned ("4294967295" is -1); text that is no number
    // takes the default, which is what the author would expect from a damaged value.
    bool ok = false;
    const QString s = AsText(v).trimmed();
    const qlonglong n = s.toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > UINT32_MAX)
        return def;
    return static_cast<int32_t>(static_cast<uint32_t>(n));
}

bool CQtProfileStore::WriteProfileString(const std::string& section, const std::string& key,
                                         const std::string& value)
{
    MakePrivate();
    m_settings->setValue(Path(section, key), QString::fromStdString(value));
    return m_settings->status() == QSettings::NoError;
}

bool CQtProfileStore::WriteProfileInt(const std::string& section, const std::string& key,
                                      int32_t value)
{
    MakePrivate();
    m_settings->setValue(Path(section, key), static_cast<int>(value));
    return m_settings->status() == QSettings::NoError;
}

bool CQtProfileStore::HasProfileValue(const std::string& section, const std::string& key)
{
    TightenExisting();
    return m_settings->contains(Path(section, key));
}

bool CQtProfileStore::RemoveProfileValue(const std::string& section, const std::string& key)
{
    m_settings->remove(Path(section, key));
    return Sync();
}

bool CQtProfileStore::Sync()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

std::string CQtProfileStore::ReadProblem()
{
    m_settings->contains(QStringLiteral("x"));  // reads the file if it was not read yet
    const std::string file = m_settings->fileName().toStdString();
    switch (m_settings->status()) {
        case QSettings::FormatError:
            return "the settings file " + file + " is damaged";
        case QSettings::AccessError:
            return "the settings file " + file + " cannot be read or written";
        default:
            return {};
    }
}

QString CQtProfileStore::FileName() const
{
    return m_settings->fileName();
}

#ifndef _WIN32
namespace {
// Only our own folder: an explicit INI path may live in a folder that is not ours to change.
void TightenFolder(const QString& file)
{
    const QByteArray dir = QFileInfo(file).absolutePath().toLocal8Bit();
    struct stat st {};
    if (::stat(dir.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 077) != 0 &&
        QFileInfo(file).absoluteDir().dirName() == QLatin1String("Orbidex"))
        ::chmod(dir.constData(), st.st_mode & 0700);
}
}  // namespace
#endif

void CQtProfileStore::MakePrivate()
{
#ifndef _WIN32
    // The file holds the password: folder 0700, file 0600, before the first byte is written.
    const QString file = m_settings->fileName();
    const QFileInfo info(file);
    // A first start may have no config folder at all: make the ones above ours, or ours would
    // not be made here and the file would first appear with the default modes.
    QDir().mkpath(QFileInfo(info.absolutePath()).absolutePath());
    const QByteArray dir = info.absolutePath().toLocal8Bit();
    if (::mkdir(dir.constData(), 0700) != 0)
        TightenFolder(file);
    const QByteArray path = file.toLocal8Bit();
    int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    }
#endif
}

void CQtProfileStore::TightenExisting()
{
#ifndef _WIN32
    // A file made by hand or by an older install may be open to others; reading it is the first
    // chance to close it, without creating anything that is not there.
    const QString file = m_settings->fileName();
    const QByteArray path = file.toLocal8Bit();
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    if ((st.st_mode & 077) != 0)
        ::chmod(path.constData(), 0600);
    TightenFolder(file);
#endif
}
