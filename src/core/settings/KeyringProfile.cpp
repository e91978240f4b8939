#include "core/settings/KeyringProfile.h"

#include "core/settings/Settings.h"

namespace {
bool IsPassword(const std::string& section, const std::string& key)
{
    return section == kSectionAuthor && key == "Password";
}
bool IsLogin(const std::string& section, const std::string& key)
{
    return section == kSectionAuthor && key == "Author";
}
}  // namespace

CKeyringProfileStore::CKeyringProfileStore(std::unique_ptr<IProfileStore> file,
                                           std::unique_ptr<ISecretStore> keyring, Notice notice)
    : m_ownFile(std::move(file)),
      m_ownKeyring(std::move(keyring)),
      m_file(*m_ownFile),
      m_keyring(*m_ownKeyring),
      m_notice(std::move(notice))
{
}

std::string CKeyringProfileStore::GetProfileString(const std::string& section,
                                                   const std::string& key)
{
    return IsPassword(section, key) ? ReadPassword() : m_file.GetProfileString(section, key);
}

int32_t CKeyringProfileStore::GetProfileInt(const std::string& section, const std::string& key,
                                            int32_t def)
{
    return m_file.GetProfileInt(section, key, def);
}

bool CKeyringProfileStore::WriteProfileString(const std::string& section, const std::string& key,
                                              const std::string& value)
{
    if (IsPassword(section, key))
        return WritePassword(value);
    if (IsLogin(section, key))
        m_previousLogin = m_file.GetProfileString(section, key);
    return m_file.WriteProfileString(section, key, value);
}

bool CKeyringProfileStore::WriteProfileInt(const std::string& section, const std::string& key,
                                           int32_t value)
{
    return m_file.WriteProfileInt(section, key, value);
}

bool CKeyringProfileStore::HasProfileValue(const std::string& section, const std::string& key)
{
    return m_file.HasProfileValue(section, key);
}

bool CKeyringProfileStore::RemoveProfileValue(const std::string& section, const std::string& key)
{
    return m_file.RemoveProfileValue(section, key);
}

std::string CKeyringProfileStore::ReadPassword()
{
    if (m_file.HasProfileValue(kSectionAuthor, "Password"))
        return m_file.GetProfileString(kSectionAuthor, "Password");
    const std::string login = m_file.GetProfileString(kSectionAuthor, "Author");
    std::string password;
    if (login.empty() || m_keyring.Read(login, password) != ISecretStore::Result::Ok)
        return {};
    return password;
}

bool CKeyringProfileStore::WritePassword(const std::string& password)
{
    const std::string login = m_file.GetProfileString(kSectionAuthor, "Author");
    // Nothing to protect without a password or an account to file it under.
    if (password.empty() || login.empty())
        return m_file.WriteProfileString(kSectionAuthor, "Password", password);
    if (m_keyring.Write(login, password) == ISecretStore::Result::Ok) {
        if (!m_previousLogin.empty() && m_previousLogin != login)
            m_keyring.Remove(m_previousLogin);
        m_previousLogin.clear();
        return m_file.RemoveProfileValue(kSectionAuthor, "Password");
    }
    if (!m_noticeGiven && m_notice) {
        m_noticeGiven = true;
        const std::string why = m_keyring.LastError();
        m_notice("the desktop has no keyring: the password stays in the settings file" +
                 (why.empty() ? std::string() : " (" + why + ")"));
    }
    return m_file.WriteProfileString(kSectionAuthor, "Password", password);
}
