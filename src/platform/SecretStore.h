#pragma once
#include <string>

// The desktop's keyring (Secret Service, KWallet, the Credential Manager on Windows): one secret
// per account under the program's own service name.
class ISecretStore {
public:
    enum class Result {
        Ok,
        NotFound,     // the keyring answered: nothing stored for that account
        Unavailable,  // no keyring on this desktop
        // A keyring is there but gave no answer: locked, its prompt dismissed, access denied,
        // or still being set up (KWallet's first-run wizard). Asking again later may work.
        Locked,
    };
    virtual ~ISecretStore() = default;
    virtual Result Read(const std::string& account, std::string& secret) = 0;
    virtual Result Write(const std::string& account, const std::string& secret) = 0;
    virtual Result Remove(const std::string& account) = 0;
    // The keyring's own words for the last Unavailable.
    virtual std::string LastError() const = 0;
};
