// What the client takes from libmosquitto beyond single calls: a handle set up
// from the options, and the library's results in words. Internal to this library.
#pragma once

#include "mqtt/client.h"

#include <string>

struct mosquitto;

namespace mqtt::detail {

// A libmosquitto handle with the options applied (identity, credentials, TLS,
// last will, no Nagle), for the owner given to the callbacks; nullptr with the
// reason in problem.
mosquitto *NewHandle(const Options &options, void *owner, std::string &problem);

// A result of libmosquitto in words, starting in lower case, without a final
// full stop; errnoValue is errno as it was right after the call.
std::string InWords(int result, int errnoValue);

// The reason a broker gives in its refusal (a CONNACK code), in words.
std::string RefusalInWords(int connackCode);

} // namespace mqtt::detail
