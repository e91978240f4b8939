#pragma once
#include "core/settings/KeyringProfile.h"

#include <memory>

// The user's own settings: the file (the registry on Windows) with the password in the
// desktop's keyring. `notice` hears once that there is no keyring.
std::unique_ptr<IProfileStore> CreateUserProfile(CKeyringProfileStore::Notice notice);
