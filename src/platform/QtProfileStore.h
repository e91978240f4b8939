#pragma once
#include "platform/ProfileStore.h"

#include <QString>
#include <memory>

class QSettings;

// QSettings-backed profile: the registry key Software\Orbidex\Nimbrel Ravlet on Windows,
// $XDG_CONFIG_HOME/Orbidex/Nimbrel Ravlet.conf elsewhere. The file holds the password in
// plain text, so on POSIX its folder is kept 0700 and the file 0600, from the first read on.
class CQtProfileStore final : public IProfileStore {
public:
    CQtProfileStore();                                 // the user's profile
    explicit CQtProfileStore(const QString& iniPath);  // an explicit INI file (tests)
    ~CQtProfileStore() override;

    std::string GetProfileString(const std::string& section, const std::string& key) override;
    int32_t GetProfileInt(const std::string& section, const std::string& key, int32_t def) override;
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value) override;
    bool WriteProfileInt(const std::string& section, const std::string& key,
                         int32_t value) override;
    bool HasProfileValue(const std::string& section, const std::string& key) override;
    bool RemoveProfileValue(const std::string& section, const std::string& key) override;
    std::string ReadProblem() override;

    bool Sync();             // flush to disk; true when written
    bool HasValues() const;  // anything stored at all: a configuration was saved once
    QString FileName() const;

private:
    void MakePrivate();
    void TightenExisting();
    std::unique_ptr<QSettings> m_settings;
};
