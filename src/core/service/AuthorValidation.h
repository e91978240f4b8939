#pragma once
#include "core/settings/Endpoints.h"
#include "core/settings/Settings.h"

class IAgentEvents;
class IInternet;

struct CWebReply;

// Refused only on an answer the service meant (whole, success status) that lacks the marker.
// No login ID is NotConfigured: nothing was asked. No answer, a time-out, a server fault or a
// cut body is Unchecked: the login may well be right, so nothing that a refusal switches off
// may follow from it.
enum class EAuthorCheck { Valid, Refused, Unchecked, NotConfigured };

// Asks the service whether `Author` and `Password` are a valid login. No request without a
// login ID. Reports only an internet that cannot be opened; the cycle reports the outcome and
// decides what a refusal means. `reply` (when given) receives the service's answer. A password
// the keyring did not give is never sent: that login stays unchecked.
EAuthorCheck ValidateAuthor(IAgentEvents& events, IInternet& internet, const CEndpoints& endpoints,
                            const CSettings& settings, CWebReply* reply = nullptr);
