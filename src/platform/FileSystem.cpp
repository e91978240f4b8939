#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <memory>
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

}  // namespace

bool MatchWildcard(std::string_view pattern, std::string_view name)
{
    return Matcher(Tokenize(pattern), name).Run();
}

std::vector<DirEntry> FindFiles(const std::string& folder, std::string_view pattern)
{
    return FindFiles(folder, pattern, nullptr);
}

std::vector<DirEntry> FindFiles(const std::string& folder, std::string_view pattern,
                                const std::function<bool(std::string_view name)>& look)
{
    std::vector<DirEntry> out;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir)
        return out;
    const std::vector<Token> tokens = Tokenize(pattern);
    while (dirent* e = readdir(dir.get())) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (!Matcher(tokens, name).Run() || (look && !look(name)))
            continue;
        DirEntry entry;
        entry.name = std::string(name);
        struct stat st {};
        if (fstatat(dirfd(dir.get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.isLink = S_ISLNK(st.st_mode);
            entry.special = !entry.isDirectory && !entry.isLink && !S_ISREG(st.st_mode);
            entry.readOnly = (st.st_mode & 0222) == 0;
            entry.dev = static_cast<std::uint64_t>(st.st_dev);
            entry.ino = static_cast<std::uint64_t>(st.st_ino);
            entry.stamp = {
                static_cast<std::uint64_t>(st.st_size),
                static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
        } else {
            // Gone since readdir: nothing that could be sent.
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

bool CreateFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreatePrivateFolder(const std::string& path)
{
    return mkdir(path.c_str(), 0700) == 0;
}

std::optional<FileStamp> GetFileStamp(const std::string& path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    FileStamp s;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

}  // namespace fsys
