#pragma once
#include "core/settings/Endpoints.h"
#include "core/settings/Settings.h"

class IDisplay;
class IInternet;

// Asks the service whether `Author` and `Password` are a valid login. No request without a
// login ID. Reports in the status bar; the cycle decides what a refusal means.
bool ValidateAuthor(IDisplay& display, IInternet& internet, const CEndpoints& endpoints,
                    const CSettings& settings);
