#pragma once
#include <cstdint>
#include <optional>
#include <string>

// Per-user store of sections with string and integer values (the registry on Windows).
class IProfileStore {
public:
    virtual ~IProfileStore() = default;
    // Empty text when the section or the value is missing.
    virtual std::string GetProfileString(const std::string& section, const std::string& key) = 0;
    // The default when missing or unreadable as an integer.
    virtual int32_t GetProfileInt(const std::string& section, const std::string& key,
                                  int32_t def) = 0;
    virtual bool WriteProfileString(const std::string& section, const std::string& key,
                                    const std::string& value) = 0;
    virtual bool WriteProfileInt(const std::string& section, const std::string& key,
                                 int32_t value) = 0;
};
