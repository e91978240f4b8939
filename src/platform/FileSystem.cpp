#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fsys {
namespace {

// The pattern as the first platform's search sees it: a '*' before a dot may not eat the
// name's last dot, a '?' gives way at a dot or the end, and a dot before a wildcard or at the
// end also matches the end of the name.
enum class Tok : char { Star, DosStar, DosQm, DosDot, Lit };
struct Token {
    Tok kind;
    char ch;
};

std::vector<Token> Tokenize(std::string_view p)
{
    if (p == "*.*")
        p = "*";
    std::vector<Token> out;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        const char next = i + 1 < p.size() ? p[i + 1] : '\0';
        if (c == '?')
            out.push_back({Tok::DosQm, c});
        else if (c == '*')
            out.push_back({next == '.' ? Tok::DosStar : Tok::Star, c});
        else if (c == '.' && (next == '?' || next == '*' || next == '\0'))
            out.push_back({Tok::DosDot, c});
        else
            out.push_back({Tok::Lit, c});
    }
    return out;
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

class Matcher {
public:
    Matcher(std::vector<Token> tokens, std::string_view name)
        : m_t(std::move(tokens)),
          m_n(name),
          m_lastDot(name.rfind('.')),
          m_memo((m_t.size() + 1) * (m_n.size() + 1), -1)
    {
    }
    bool Run() { return At(0, 0); }

private:
    bool At(std::size_t pi, std::size_t ni)
    {
        signed char& memo = m_memo[pi * (m_n.size() + 1) + ni];
        if (memo < 0)
            memo = Compute(pi, ni) ? 1 : 0;
        return memo == 1;
    }
    bool Compute(std::size_t pi, std::size_t ni)
    {
        if (pi == m_t.size())
            return ni == m_n.size();
        const Token& t = m_t[pi];
        const bool more = ni < m_n.size();
        switch (t.kind) {
            case Tok::Star:
                return At(pi + 1, ni) || (more && At(pi, ni + 1));
            case Tok::DosStar:
                return At(pi + 1, ni) || (more && ni != m_lastDot && At(pi, ni + 1));
            case Tok::DosQm:
                if (more && m_n[ni] != '.')
                    return At(pi + 1, ni + 1);
                while (pi < m_t.size() && m_t[pi].kind == Tok::DosQm) ++pi;
                return At(pi, ni);
            case Tok::DosDot:
                if (more && m_n[ni] == '.')
                    return At(pi + 1, ni + 1);
                return !more && At(pi + 1, ni);
            case Tok::Lit:
                return more && Lower(m_n[ni]) == Lower(t.ch) && At(pi + 1, ni + 1);
        }
        return false;
    }

    std::vector<Token> m_t;
    std::string_view m_n;
    std::size_t m_lastDot;
    std::vector<signed char> m_memo;
};

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

bool CopyByReadWrite(int in, int out)
{
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = read(in, buf, sizeof buf);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buf + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno != EINTR)
                return false;
            if (w > 0)
                done += w;
        }
    }
}

// In the kernel: shared blocks where the file system has reflinks, else copy_file_range; plain
// reads and writes where neither works (across file systems, old kernels, some FUSE mounts).
// Copies to the end of `in` as it is now, whatever its size was when opened.
bool CopyContents(int in, int out)
{
    if (ioctl(out, FICLONE, in) == 0)
        return true;
    bool copiedAny = false;
    for (;;) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
        if (n > 0) {
            copiedAny = true;
            continue;
        }
        if (n == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (!copiedAny && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                           errno == EINVAL || errno == EBADF))
            return CopyByReadWrite(in, out);
        return false;
    }
}

// Puts the finished copy `temp` under the name `to`. A rename over an existing file makes ext4
// write the new file's data out at once (its guard for editors that replace files without
// fsync), which cost twice the copy itself. Exchanging the two names is not under that guard
// and keeps a whole copy under `to` at every moment; the old one then goes under `temp`.
bool MoveIntoPlace(const std::string& temp, const std::string& to)
{
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST) {
        struct stat st {};
        // Never swap a folder into the temporary's place: a plain rename refuses that.
        if (lstat(to.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
            renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
            unlink(temp.c_str());
            return true;
        }
    }
    // File systems without renameat2's flags, and folders, get the plain rename's answer.
    return rename(temp.c_str(), to.c_str()) == 0;
}

}  // namespace

bool MatchWildcard(std::string_view pattern, std::string_view name)
{
    return Matcher(Tokenize(pattern), name).Run();
}

std::vector<DirEntry> FindFiles(const std::string& folder, std::string_view pattern)
{
    std::vector<DirEntry> out;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir)
        return out;
    const std::vector<Token> tokens = Tokenize(pattern);
    std::string base = folder;
    if (!base.empty() && base.back() != '/')
        base += '/';
    while (dirent* e = readdir(dir.get())) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (!Matcher(tokens, name).Run())
            continue;
        DirEntry entry;
        entry.name = std::string(name);
        struct stat st {};
        if (stat((base + entry.name).c_str(), &st) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.special = !entry.isDirectory && !S_ISREG(st.st_mode);
            entry.readOnly = (st.st_mode & 0222) == 0;
        } else {
            // A dangling link or an entry gone since readdir: nothing that could be sent.
            entry.isDirectory = e->d_type == DT_DIR;
            entry.readOnly = true;
        }
        out.push_back(std::move(entry));
    }
    return out;
}

bool IsReadOnly(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

bool MarkReadOnly(const std::string& path)
{
    return chmod(path.c_str(), 0444) == 0;
}

bool CopyFileReplacing(const std::string& from, const std::string& to)
{
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    std::string temp = to + ".XXXXXX";
    const int out = mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        close(in);
        return false;
    }
    bool ok = CopyContents(in, out);
    // The copy keeps the original's permission bits and modification time, as a copy of a
    // document on the first platform does.
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && fchmod(out, st.st_mode & 07777) == 0 && futimens(out, times) == 0;
    ok = close(out) == 0 && ok;
    close(in);
    if (ok && MoveIntoPlace(temp, to))
        return true;
    unlink(temp.c_str());
    return false;
}

bool CreateFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<FileStamp> GetFileStamp(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::nullopt;
    FileStamp s;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

bool CanReadFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return regular;
}

}  // namespace fsys
