#pragma once
#include "platform/ProfileStore.h"

#include "platform/SecretStore.h"

#include <functional>
#include <memory>
#include <string>

// The settings file with the password in the desktop's keyring, under the login ID.
// A file that still holds `Password` (an install from before the keyring, or a desktop without
// one) is believed first; a Save moves it to the keyring and removes it from the file only once
// the keyring has confirmed. Without a keyring the file keeps it, and `notice` hears so once;
// it also hears once when a password kept in the keyring cannot be read. The keyring is asked
// once per login: a locked keyring is asked again only after RetryLocked, so a dismissed
// unlock prompt does not come straight back.
class CKeyringProfileStore final : public IProfileStore {
public:
    using Notice = std::function<void(const std::string& text)>;
    CKeyringProfileStore(std::unique_ptr<IProfileStore> file, std::unique_ptr<ISecretStore> keyring,
                         Notice notice = {});

    std::string GetProfileString(const std::string& section, const std::string& key) override;
    int32_t GetProfileInt(const std::string& section, const std::string& key, int32_t def) override;
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value) override;
    bool WriteProfileInt(const std::string& section, const std::string& key,
                         int32_t value) override;
    bool HasProfileValue(const std::string& section, const std::string& key) override;
    bool RemoveProfileValue(const std::string& section, const std::string& key) override;
    bool ValueLocked(const std::string& section, const std::string& key) override;
    void RetryLocked() override;
    std::string ReadProblem() override { return m_file.ReadProblem(); }

private:
    std::string ReadPassword();
    bool WritePassword(const std::string& password);
    void NoticeOnce(bool& given, const std::string& text);

    std::unique_ptr<IProfileStore> m_ownFile;
    std::unique_ptr<ISecretStore> m_ownKeyring;
    IProfileStore& m_file;
    ISecretStore& m_keyring;
    Notice m_notice;
    std::string m_previousLogin;  // the login ID a Save is replacing
    bool m_writeNoticeGiven = false;
    bool m_readNoticeGiven = false;
    // The keyring's last answer for m_askedLogin; none while m_asked is false.
    bool m_asked = false;
    bool m_locked = false;
    std::string m_askedLogin;
    std::string m_password;
};
