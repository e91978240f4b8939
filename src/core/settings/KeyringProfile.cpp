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
    // A move the keyring has not confirmed yet still owes the first entry's removal.
    if (IsLogin(section, key) && m_previousLogin.empty())
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

bool CKeyringProfileStore::ValueLocked(const std::string& section, const std::string& key)
{
    return IsPassword(section, key) && !m_file.HasProfileValue(kSectionAuthor, "Password") &&
           m_asked && m_locked &&
           m_askedLogin == m_file.GetProfileString(kSectionAuthor, "Author");
}

void CKeyringProfileStore::RetryLocked()
{
    if (m_locked)
        m_asked = false;
}

std::string CKeyringProfileStore::ReadPassword()
{
    if (m_file.HasProfileValue(kSectionAuthor, "Password"))
        return m_file.GetProfileString(kSectionAuthor, "Password");
    const std::string login = m_file.GetProfileString(kSectionAuthor, "Author");
    if (login.empty())
        return {};
    if (m_asked && m_askedLogin == login)
        return m_password;
    std::string password;
    const ISecretStore::Result read = m_keyring.Read(login, password);
    m_asked = true;
    m_askedLogin = login;
    m_locked = read == ISecretStore::Result::Locked;
    m_password = read == ISecretStore::Result::Ok ? password : std::string();
    // The dialog then asks for the password again; without this line the author would see an
    // empty field, or a refused login, and not know why. A locked keyring is the agent
    // state's to say, as it lasts.
    if (read == ISecretStore::Result::Unavailable)
        NoticeOnce(m_readNoticeGiven, "the desktop's keyring did not answer: type the password "
                                      "again in Configuration");
    return m_password;
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
    // An empty field over a password the locked keyring still holds is not a new password.
    if (password.empty() && !login.empty() && ValueLocked(kSectionAuthor, "Password"))
        return true;
    // Nothing to protect without a password or an account to file it under.
    if (password.empty() || login.empty())
        return m_file.WriteProfileString(kSectionAuthor, "Password", password);
    const ISecretStore::Result wrote = m_keyring.Write(login, password);
    if (wrote == ISecretStore::Result::Ok) {
        // The old entry goes only now: had the write failed, it would still be the password.
        if (!m_previousLogin.empty() && m_previousLogin != login)
            m_keyring.Remove(m_previousLogin);
        m_previousLogin.clear();
        m_asked = true;
        m_locked = false;
        m_askedLogin = login;
        m_password = password;
        return m_file.RemoveProfileValue(kSectionAuthor, "Password");
    }
    NoticeOnce(m_writeNoticeGiven,
               wrote == ISecretStore::Result::Locked
                   ? "the keyring is locked: the password stays in the settings file until a "
                     "Save with the keyring unlocked"
                   : "the desktop has no keyring: the password stays in the settings file");
    return m_file.WriteProfileString(kSectionAuthor, "Password", password);
}
