#pragma once
// Runs a case as an author runs the agent: without privileges, because root ignores the modes
// that the case is about. As root, the case runs in a forked child that has become "nobody"
// after `home` was handed to it; the child's failures fail the test. Otherwise it runs here.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <ftw.h>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

inline constexpr uid_t kAuthorUid = 65534;  // nobody

inline bool RunningAsRoot()
{
    return ::geteuid() == 0;
}

// False when the case could not run unprivileged (the caller skips with a message). `rootOwns`:
// paths under `home` that stay root's, as files the author may not change.
inline bool AsAuthor(const std::string& home, const std::function<void()>& body,
                     const std::vector<std::string>& rootOwns = {})
{
    if (!RunningAsRoot()) {
        body();
        return true;
    }
    ::nftw(
        home.c_str(),
        [](const char* path, const struct stat*, int, FTW*) {
            return ::lchown(path, kAuthorUid, kAuthorUid) == 0 ? 0 : 1;
        },
        16, FTW_PHYS);
    for (const std::string& path : rootOwns) EXPECT_EQ(::lchown(path.c_str(), 0, 0), 0) << path;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kAuthorUid) != 0 || ::setuid(kAuthorUid) != 0)
            ::_exit(77);
        body();
        std::fflush(nullptr);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        return false;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the unprivileged case failed";
    return true;
}
