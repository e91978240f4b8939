#pragma once
#include "platform/ProfileStore.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

// A profile in memory that records the order of writes and of reads.
class CMemoryProfileStore final : public IProfileStore {
public:
    std::map<std::pair<std::string, std::string>, std::string> strings;
    std::map<std::pair<std::string, std::string>, int32_t> ints;
    std::vector<std::string> writes;  // "section/key" in order
    std::vector<std::string> reads;

    std::string GetProfileString(const std::string& section, const std::string& key) override
    {
        reads.push_back(section + "/" + key);
        auto it = strings.find({section, key});
        return it == strings.end() ? std::string() : it->second;
    }
    int32_t GetProfileInt(const std::string& section, const std::string& key, int32_t def) override
    {
        reads.push_back(section + "/" + key);
        auto it = ints.find({section, key});
        return it == ints.end() ? def : it->second;
    }
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value) override
    {
        writes.push_back(section + "/" + key);
        strings[{section, key}] = value;
        return true;
    }
    bool WriteProfileInt(const std::string& section, const std::string& key, int32_t value) override
    {
        writes.push_back(section + "/" + key);
        ints[{section, key}] = value;
        return true;
    }
    bool HasProfileValue(const std::string& section, const std::string& key) override
    {
        return strings.count({section, key}) + ints.count({section, key}) > 0;
    }
    bool RemoveProfileValue(const std::string& section, const std::string& key) override
    {
        writes.push_back("-" + section + "/" + key);
        strings.erase({section, key});
        ints.erase({section, key});
        return true;
    }
};
