#include "platform/UserFolders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

std::string HomeFolder()
{
    std::string home;
    if (const char* env = std::getenv("HOME"); env && *env) {
        home = env;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    }
    while (!home.empty() && home.back() == '/') home.pop_back();
    return home;
}
