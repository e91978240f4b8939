#include "core/settings/Endpoints.h"

#include "orbidex_build_config.h"

const CEndpoints& BuildEndpoints()
{
    static const CEndpoints endpoints{ORBIDEX_CFG_HTTP_ORIGIN,      ORBIDEX_CFG_HTTPS_ORIGIN,
                                      ORBIDEX_CFG_HTTP_BARE_ORIGIN, ORBIDEX_CFG_FTP_HOST,
                                      ORBIDEX_CFG_FTP_TOP_DIR,      ORBIDEX_CFG_SUPPORT_EMAIL,
                                      ORBIDEX_CFG_CA_FILE};
    return endpoints;
}
