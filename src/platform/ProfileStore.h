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
    // Whether the value is stored at all (an empty text is stored).
    virtual bool HasProfileValue(const std::string& section, const std::string& key) = 0;
    // Removes the value, leaving every other one as it was; true when it is gone.
    virtual bool RemoveProfileValue(const std::string& section, const std::string& key) = 0;

    // A value kept outside the file (the password in a locked keyring) could not be read this
    // time: what was read for it is not what is stored.
    virtual bool ValueLocked(const std::string& /*section*/, const std::string& /*key*/)
    {
        return false;
    }
    // The next read of a locked value asks again, once.
    virtual void RetryLocked() {}
    // Why the stored values could not be read (a damaged or unreadable file); empty when fine.
    virtual std::string ReadProblem() { return {}; }
};
