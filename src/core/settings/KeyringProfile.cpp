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
    if (login.empty())
        return {};
    const ISecretStore::Result read = m_keyring.Read(login, password);
    // The dialog then asks for the password again; without this line the author would see an
    // empty field, or a refused login, and not know why.
    if (read == ISecretStore::Result::Unavailable)
        NoticeOnce(m_readNoticeGiven, "the desktop's keyring did not answer: type the password "
                                      "again in Configuration");
    return read == ISecretStore::Result::Ok ? password : std::string();
}

void CKeyringProfileStore::NoticeOnce(bool& given, const std::string& text)
{
    if (given || !m_notice)
        return;
    given = true;
    const std::string why = m_keyring.LastError();
    m_notice(text + (why.empty() ? std::string() : " (" + why + ")"));
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
    NoticeOnce(m_writeNoticeGiven,
               "the desktop has no keyring: the password stays in the settings file");
    return m_file.WriteProfileString(kSectionAuthor, "Password", password);
}
