#include "platform/StateFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <pwd.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fsys {
namespace {

constexpr const char* kTempFile = "temporary";

bool Failed(std::string* why)
{
    if (why)
        *why = ErrorText(errno);
    return false;
}

std::string Trimmed(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path == "/" ? std::string() : path;
}

// The state folder made on first use, the user's alone.
bool EnsureStateFolder(const std::string& folder, std::string* why)
{
    for (std::size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
        if (mkdir(folder.substr(0, at).c_str(), 0700) != 0 && errno != EEXIST)
            return Failed(why);
        if (at == std::string::npos)
            break;
    }
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0)
        return Failed(why);
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return Failed(why);
    }
    return true;
}

// The state folder is made and checked once a run, not at every record written: a record is
// written several times per file sent. One removed meanwhile is made again at the next write.
std::mutex g_readyLock;
std::set<std::string> g_ready;

bool StateFolderReady(const std::string& folder, std::string* why)
{
    std::lock_guard<std::mutex> guard(g_readyLock);
    if (g_ready.count(folder))
        return true;
    if (!EnsureStateFolder(folder, why))
        return false;
    g_ready.insert(folder);
    return true;
}

// Opens a file of the state folder, making the folder first when it is not there (any more).
int OpenInStateFolder(const std::string& folder, const std::string& path, int flags,
                      std::string* why)
{
    if (!StateFolderReady(folder, why))
        return -1;
    int fd = open(path.c_str(), flags, 0600);
    if (fd < 0 && errno == ENOENT) {
        {
            std::lock_guard<std::mutex> guard(g_readyLock);
            g_ready.erase(folder);
        }
        if (!StateFolderReady(folder, why))
            return -1;
        fd = open(path.c_str(), flags, 0600);
    }
    if (fd < 0)
        Failed(why);
    return fd;
}

}  // namespace

std::string HomeFolder()
{
    if (const char* env = std::getenv("HOME"); env && *env)
        return Trimmed(env);
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return Trimmed(pw->pw_dir);
    return {};
}

std::string DefaultStateFolder()
{
    // Only an absolute path counts, as the base directory rules say.
    const char* env = std::getenv("XDG_STATE_HOME");
    const std::string base = env && *env == '/' ? Trimmed(env) : HomeFolder() + "/.local/state";
    return base + "/orbidex";
}

std::vector<std::string> ReadFields(const std::string& folder, const std::string& file,
                                    std::size_t maxBytes)
{
    std::vector<std::string> fields;
    CFd fd(open((folder + "/" + file).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return fields;
    std::string data;
    char buf[4096];
    for (ssize_t n; (n = read(fd.Get(), buf, sizeof buf)) > 0 && data.size() < maxBytes;)
        data.append(buf, static_cast<std::size_t>(n));
    for (std::size_t at = 0, end; (end = data.find('\0', at)) != std::string::npos; at = end + 1)
        fields.push_back(data.substr(at, end - at));
    return fields;
}

bool ReadEachField(const std::string& folder, const std::string& file,
                   const std::function<void(std::string&& field)>& onField)
{
    CFd fd(open((folder + "/" + file).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return true;
    std::string field;
    std::vector<char> buf(1u << 16);
    for (ssize_t n; (n = read(fd.Get(), buf.data(), buf.size())) > 0;) {
        const char* at = buf.data();
        const char* const end = at + n;
        for (const char* nul; (nul = static_cast<const char*>(std::memchr(at, '\0', end - at)));
             at = nul + 1) {
            field.append(at, nul);
            onField(std::move(field));
            field.clear();
        }
        field.append(at, end);
    }
    return field.empty();
}

bool WriteFields(const std::string& folder, const std::string& file,
                 const std::vector<std::string>& fields, std::string* why)
{
    std::string data;
    for (const std::string& f : fields) data.append(f).push_back('\0');
    // The folder is ours alone: a fixed name beside the file is enough for the swap.
    const std::string path = folder + "/" + file;
    const std::string next = path + ".new";
    CFd fd(OpenInStateFolder(folder, next, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                             why));
    if (!fd)
        return false;
    for (std::size_t done = 0; done < data.size();) {
        const ssize_t w = write(fd.Get(), data.data() + done, data.size() - done);
        if (w < 0 && errno != EINTR)
            return Failed(why);
        done += w > 0 ? static_cast<std::size_t>(w) : 0;
    }
    if (close(fd.Release()) != 0 || rename(next.c_str(), path.c_str()) != 0)
        return Failed(why);
    return true;
}

bool AppendFields(const std::string& folder, const std::string& file,
                  const std::vector<std::string>& fields, std::string* why)
{
    return CAppender(folder, file).Append(fields, why);
}

bool CAppender::Append(const std::vector<std::string>& fields, std::string* why)
{
    std::string data;
    for (const std::string& f : fields) data.append(f).push_back('\0');
    if (!m_fd)
        m_fd = CFd(OpenInStateFolder(m_folder, m_folder + "/" + m_file,
                                     O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, why));
    if (!m_fd)
        return false;
    const ssize_t w = write(m_fd.Get(), data.data(), data.size());
    if (w == static_cast<ssize_t>(data.size()))
        return true;
    if (w >= 0) {
        // A full disk took part of the record: take it back, so that the next record follows
        // a whole one (its reader still copes when this fails too).
        const off_t end = w > 0 ? lseek(m_fd.Get(), 0, SEEK_CUR) : -1;
        [[maybe_unused]] const int back = end >= w ? ftruncate(m_fd.Get(), end - w) : -1;
        errno = ENOSPC;
    }
    Failed(why);
    Close();  // the next record tries a fresh handle: the disk may have room again
    return false;
}

bool CTempRecord::Add(const std::string& path, FileId id)
{
    std::vector<std::string> fields = ReadFields(m_folder, kTempFile);
    fields.insert(fields.end(), {std::to_string(id.dev), std::to_string(id.ino), path});
    return WriteFields(m_folder, kTempFile, fields);
}

void CTempRecord::Remove(const std::string& path)
{
    std::vector<std::string> fields = ReadFields(m_folder, kTempFile);
    std::vector<std::string> kept;
    for (std::size_t i = 0; i + 3 <= fields.size(); i += 3)
        if (fields[i + 2] != path)
            kept.insert(kept.end(), {fields[i], fields[i + 1], fields[i + 2]});
    if (kept.size() != fields.size())
        WriteFields(m_folder, kTempFile, kept);
}

int CTempRecord::Sweep(const std::vector<std::string>& folders)
{
    const std::vector<std::string> fields = ReadFields(m_folder, kTempFile);
    if (fields.empty())
        return 0;
    int removed = 0;
    for (std::size_t i = 0; i + 3 <= fields.size(); i += 3) {
        struct stat st {};
        const std::string& path = fields[i + 2];
        // The record is only a file on disk: it may name a file of the author's (damaged or
        // forged). Only our own shape of name, in a folder we write to, is ever removed.
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos || !IsTemporaryName(path.substr(slash + 1)) ||
            std::none_of(folders.begin(), folders.end(), [&](const std::string& f) {
                return !Trimmed(f).empty() && Trimmed(f) == path.substr(0, slash);
            }))
            continue;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            std::to_string(st.st_dev) == fields[i] && std::to_string(st.st_ino) == fields[i + 1] &&
            unlink(path.c_str()) == 0)
            ++removed;
    }
    WriteFields(m_folder, kTempFile, {});
    return removed;
}

bool IsTemporaryName(const std::string& name)
{
    constexpr std::size_t kTail = 6 + 5;  // the tag and ".part"
    if (name.size() < 2 + 1 + kTail || name[0] != '.' || name.compare(name.size() - 5, 5, ".part") != 0 ||
        name[name.size() - kTail - 1] != '.')
        return false;
    return std::all_of(name.end() - static_cast<long>(kTail), name.end() - 5, [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

std::string TemporaryName(const std::string& name)
{
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    static constexpr char kTag[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string temp = "." + name + ".";
    if (temp.size() + 6 + 5 > 255)  // the longest name most file systems take
        temp = ".orbidex.";
    for (int i = 0; i < 6; ++i) temp += kTag[rng() % (sizeof kTag - 1)];
    return temp + ".part";
}

}  // namespace fsys
