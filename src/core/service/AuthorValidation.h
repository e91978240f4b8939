#pragma once
#include "core/settings/Endpoints.h"
#include "core/settings/Settings.h"

class IDisplay;
class IInternet;

// Refused only on an answer the service meant (whole, success status) that lacks the marker,
// or without a login ID. No answer, a time-out, a server fault or a cut body is Unchecked:
// the login may well be right, so nothing that a refusal switches off may follow from it.
enum class EAuthorCheck { Valid, Refused, Unchecked };

// Asks the service whether `Author` and `Password` are a valid login. No request without a
// login ID. Reports in the status bar; the cycle decides what a refusal means.
EAuthorCheck ValidateAuthor(IDisplay& display, IInternet& internet, const CEndpoints& endpoints,
                            const CSettings& settings);
