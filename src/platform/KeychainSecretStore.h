#pragma once
#include "platform/SecretStore.h"

#include <QString>

// ISecretStore through QtKeychain. Each call waits for the keyring's answer in a local event
// loop, so it belongs on a thread that runs one (the UI thread, where settings are loaded).
class CKeychainSecretStore final : public ISecretStore {
public:
    explicit CKeychainSecretStore(QString service = QStringLiteral("Orbidex"));

    Result Read(const std::string& account, std::string& secret) override;
    Result Write(const std::string& account, const std::string& secret) override;
    Result Remove(const std::string& account) override;
    std::string LastError() const override { return m_lastError; }

private:
    QString m_service;
    std::string m_lastError;
};
