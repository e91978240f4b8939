#pragma once
#include <string>
#include <string_view>

// A text file that only grows, kept open from one line to the next. Readable by its owner
// alone: it names the author's files. Not thread-safe: its user serialises the lines.
class CLogFile {
public:
    explicit CLogFile(std::string path) : m_path(std::move(path)) {}
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    enum class EResult {
        Written,
        Held,    // another program holds the file locked: the line is dropped
        Failed,  // with the system's error number in *error
    };
    // Appends `data` at the end in one piece. Opens the file first when it is not open, when
    // it was moved or deleted since the last line, or after a failure; a file it creates is
    // 0600, and one found readable by others is tightened to 0600. A symbolic link (or anything
    // but a plain file) at the path is refused: ELOOP or EINVAL.
    EResult Append(std::string_view data, int* error);
    // Over a burst of lines (a cycle's), the name is checked and the lock taken at its first
    // line and the lock kept to its end: then a line is one write. Another program that holds
    // the lock first still has its way: lines are dropped until it lets go. A log deleted
    // during the burst is made anew at its end with the burst's lines, so none is lost; the
    // result is that of writing them there (Written when there was nothing to write).
    EResult HoldBetweenLines(bool hold, int* error);

private:
    bool Open(int* error);
    void Close();
    bool StillAtPath() const;
    EResult EndBurst(int* error);

    std::string m_path;
    int m_fd = -1;
    unsigned long long m_dev = 0;
    unsigned long long m_ino = 0;
    bool m_linkSaid = false;  // a link at the path is told on stderr once
    bool m_holding = false;
    bool m_locked = false;   // our lock, kept over a burst
    bool m_checked = false;  // the name was looked at in this burst
    std::string m_burst;     // the burst's lines since then, up to kBurstKept bytes
};
