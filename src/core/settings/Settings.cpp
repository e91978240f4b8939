#include "core/settings/Settings.h"

#include "platform/ProfileStore.h"

#include <algorithm>
#include <vector>

namespace {

using PairTexts = std::array<std::string, kSourcePairs>;

// Where a value lives in the record: a text, one text of a source pair, or an integer.
struct CField {
    std::string CSettings::*text = nullptr;
    PairTexts CSettings::*pairTexts = nullptr;
    int pair = 0;
    int32_t CSettings::*number = nullptr;

    std::string& Text(CSettings& s) const { return pairTexts ? (s.*pairTexts)[pair] : s.*text; }
    const std::string& Text(const CSettings& s) const
    {
        return pairTexts ? (s.*pairTexts)[pair] : s.*text;
    }
};

CField Text(std::string CSettings::*field)
{
    return {.text = field};
}
CField PairText(PairTexts CSettings::*field, int pair)
{
    return {.pairTexts = field, .pair = pair};
}
CField Number(int32_t CSettings::*field)
{
    return {.number = field};
}

// One stored value. A text reads as empty when absent, an integer as `absent`.
struct CSettingKey {
    const char* section;
    std::string key;
    CField field;
    int32_t absent;
    int loadStep;  // reads go in this order; writes in the order of the table
};

// The table, in the order of saving: the ten folders, the ten extensions, then the rest.
// Loading takes each pair's folder and then its extension, and TDir before PASV.
std::vector<CSettingKey> MakeKeys()
{
    std::vector<CSettingKey> keys;
    for (int i = 0; i < kSourcePairs; ++i)
        keys.push_back({kSectionSource, "Dir" + std::to_string(i + 1), PairText(&CSettings::Dir, i),
                        0, 2 * i});
    for (int i = 0; i < kSourcePairs; ++i)
        keys.push_back({kSectionSource, "Ext" + std::to_string(i + 1), PairText(&CSettings::Ext, i),
                        0, 2 * i + 1});
    constexpr int n = 2 * kSourcePairs;
    // clang-format off
    const CSettingKey rest[] = {
        // section       key             field                             absent loadStep
        {kSectionSource, "PASV",         Number(&CSettings::PASV),         0,     n + 1},
        {kSectionSource, "TDir",         Text(&CSettings::TDir),           0,     n},
        {kSectionAuthor, "Author",       Text(&CSettings::Author),         0,     n + 2},
        {kSectionAuthor, "Password",     Text(&CSettings::Password),       0,     n + 3},
        {kSectionAuthor, "Poll Time",    Number(&CSettings::PollTime),     0,     n + 4},
        {kSectionAuthor, "Show Config",  Number(&CSettings::ShowConfig),   1,     n + 5},
        {kSectionAuthor, "AutoDownLoad", Number(&CSettings::AutoDownLoad), 0,     n + 6},
        {kSectionAuthor, "Arrival Notices", Number(&CSettings::ArrivalNotices), 1, n + 7},
    };
    // clang-format on
    keys.insert(keys.end(), std::begin(rest), std::end(rest));
    return keys;
}

const std::vector<CSettingKey>& SaveOrder()
{
    static const std::vector<CSettingKey> keys = MakeKeys();
    return keys;
}

const std::vector<const CSettingKey*>& LoadOrder()
{
    static const std::vector<const CSettingKey*> order = [] {
        std::vector<const CSettingKey*> o;
        for (const CSettingKey& key : SaveOrder()) o.push_back(&key);
        std::sort(o.begin(), o.end(), [](const CSettingKey* a, const CSettingKey* b) {
            return a->loadStep < b->loadStep;
        });
        return o;
    }();
    return order;
}

}  // namespace

CSettings LoadSettings(IProfileStore& store)
{
    CSettings s;  // cleared: empty texts, integers 0
    for (const CSettingKey* key : LoadOrder()) {
        const CField& f = key->field;
        if (f.number)
            s.*f.number = store.GetProfileInt(key->section, key->key, key->absent);
        else if (f.pairTexts == &CSettings::Ext && s.Dir[f.pair].empty())
            f.Text(s) = "wav";  // its stored extension is not read
        else
            f.Text(s) = store.GetProfileString(key->section, key->key);
    }
    s.PasswordLocked = store.ValueLocked(kSectionAuthor, "Password");
    return s;
}

void SaveSettings(IProfileStore& store, const CSettings& s)
{
    for (const CSettingKey& key : SaveOrder()) {
        if (key.field.number)
            store.WriteProfileInt(key.section, key.key, s.*key.field.number);
        else
            store.WriteProfileString(key.section, key.key, key.field.Text(s));
    }
}
