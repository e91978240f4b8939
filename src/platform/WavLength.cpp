#include "platform/WavLength.h"

#include "platform/Format.h"

#include <cstdint>
#include <mutex>
#include <sndfile.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::optional<std::int64_t> LengthMs(SNDFILE* file, const SF_INFO& info)
{
    if (!file)
        return std::nullopt;
    sf_close(file);
    // A damaged header can claim any frame count: refuse what would overflow the product.
    if (info.samplerate <= 0 || info.frames < 0 || info.frames > INT64_MAX / 1000)
        return std::nullopt;
    return static_cast<std::int64_t>(info.frames) * 1000 / info.samplerate;
}

// Reads an open file through our own calls: sf_open_fd closes the descriptor when the file is
// no audio, even when told not to (libsndfile 1.2.0).
struct FdReader {
    int fd;
    sf_count_t at = 0;
    sf_count_t size = -2;  // asked once: libsndfile asks again and again while it opens

    static sf_count_t Length(void* self)
    {
        auto* r = static_cast<FdReader*>(self);
        struct stat st {};
        if (r->size == -2)
            r->size = fstat(r->fd, &st) == 0 ? st.st_size : -1;
        return r->size;
    }
    static sf_count_t Seek(sf_count_t offset, int whence, void* self)
    {
        auto* r = static_cast<FdReader*>(self);
        const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? r->at : Length(self);
        return r->at = base + offset;
    }
    static sf_count_t Read(void* buf, sf_count_t count, void* self)
    {
        auto* r = static_cast<FdReader*>(self);
        const ssize_t n = pread(r->fd, buf, static_cast<std::size_t>(count), r->at);
        if (n <= 0)
            return 0;
        r->at += n;
        return n;
    }
    static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t Tell(void* self) { return static_cast<FdReader*>(self)->at; }
};

}  // namespace

std::optional<std::int64_t> WavLengthMs(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    return LengthMs(file, info);
}

double GetWavLength(const std::string& path, int fd)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return 0;
    if (strcasecmp(path.c_str() + dot + 1, "wav") != 0)
        return 0;
    // A "wav" that cannot be read is announced with length 0 and still sent: the service
    // has the recording, and a person there can judge it.
    std::optional<std::int64_t> ms;
    // libsndfile keeps its last error in one buffer for the process: one file at a time,
    // whichever session asks.
    static std::mutex s_oneAtATime;
    std::lock_guard<std::mutex> guard(s_oneAtATime);
    if (fd < 0) {
        ms = WavLengthMs(path);
    } else {
        SF_VIRTUAL_IO io{&FdReader::Length, &FdReader::Seek, &FdReader::Read, &FdReader::Write,
                         &FdReader::Tell};
        FdReader reader{fd};
        SF_INFO info{};
        ms = LengthMs(sf_open_virtual(&io, SFM_READ, &info, &reader), info);
    }
    return ms ? static_cast<double>(*ms) / 1000.0 : 0.0;
}

std::string FormatLengthText(double seconds)
{
    std::string text = Format("%4.0f", seconds);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}
