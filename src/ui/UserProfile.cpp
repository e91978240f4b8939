#include "ui/UserProfile.h"

#include "platform/KeychainSecretStore.h"
#include "platform/QtProfileStore.h"

std::unique_ptr<IProfileStore> CreateUserProfile(CKeyringProfileStore::Notice notice)
{
    return std::make_unique<CKeyringProfileStore>(std::make_unique<CQtProfileStore>(),
                                                  std::make_unique<CKeychainSecretStore>(),
                                                  std::move(notice));
}
