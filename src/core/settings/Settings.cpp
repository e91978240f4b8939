#include "core/settings/Settings.h"

#include "platform/ProfileStore.h"

namespace {
std::string Key(const char* stem, int n)
{
    return stem + std::to_string(n);
}
}  // namespace

CSettings LoadSettings(IProfileStore& store)
{
    CSettings s;  // cleared: empty texts, integers 0
    for (int i = 0; i < kSourcePairs; ++i) {
        s.Dir[i] = store.GetProfileString(kSectionSource, Key("Dir", i + 1));
        s.Ext[i] = s.Dir[i].empty() ? std::string("wav")
                                    : store.GetProfileString(kSectionSource, Key("Ext", i + 1));
    }
    s.TDir = store.GetProfileString(kSectionSource, "TDir");
    s.PASV = store.GetProfileInt(kSectionSource, "PASV", 0);
    s.Author = store.GetProfileString(kSectionAuthor, "Author");
    s.Password = store.GetProfileString(kSectionAuthor, "Password");
    s.PollTime = store.GetProfileInt(kSectionAuthor, "Poll Time", 0);
    s.ShowConfig = store.GetProfileInt(kSectionAuthor, "Show Config", 1);
    s.AutoDownLoad = store.GetProfileInt(kSectionAuthor, "AutoDownLoad", 0);
    return s;
}

void SaveSettings(IProfileStore& store, const CSettings& s)
{
    for (int i = 0; i < kSourcePairs; ++i)
        store.WriteProfileString(kSectionSource, Key("Dir", i + 1), s.Dir[i]);
    for (int i = 0; i < kSourcePairs; ++i)
        store.WriteProfileString(kSectionSource, Key("Ext", i + 1), s.Ext[i]);
    store.WriteProfileInt(kSectionSource, "PASV", s.PASV);
    store.WriteProfileString(kSectionSource, "TDir", s.TDir);
    store.WriteProfileString(kSectionAuthor, "Author", s.Author);
    store.WriteProfileString(kSectionAuthor, "Password", s.Password);
    store.WriteProfileInt(kSectionAuthor, "Poll Time", s.PollTime);
    store.WriteProfileInt(kSectionAuthor, "Show Config", s.ShowConfig);
    store.WriteProfileInt(kSectionAuthor, "AutoDownLoad", s.AutoDownLoad);
}
