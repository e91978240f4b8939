#pragma once
// Transfers between a local path and the server done as the agent does them: a put reads an
// open file, a get writes an unnamed file that takes its name only when whole.
#include "platform/Internet.h"
#include "platform/LocalFile.h"

#include <fcntl.h>
#include <string>

inline bool PutFrom(IFtpConnection& ftp, const std::string& path, const std::string& remote)
{
    const fsys::CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd && ftp.PutFile(fd.Get(), remote);
}

inline bool GetInto(IFtpConnection& ftp, const std::string& remote, const std::string& path)
{
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    const std::string name = path.substr(folder.size());
    std::string why;
    const std::optional<fsys::CFd> dir = fsys::OpenFolder(folder, false, &why);
    std::optional<fsys::CNewFile> file =
        dir ? fsys::CNewFile::Create(dir->Get(), folder, name, nullptr, &why) : std::nullopt;
    return file && ftp.GetFile(remote, file->Fd()) && file->Publish(name, true, &why);
}
