#include "mqtt/handle.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// mosquitto_new() of libmosquitto 2.0 opens a socket pair per client that only its
// own network thread reads, and then writes a byte into it for every packet sent.
// Driven from our event loop nobody reads it: two descriptors per client, a system
// call per message and kernel buffers that fill up. Without the pair the library
// works as before (it says so in a log line), so the pair is refused while a
// handle is made. socketpair() defined here takes precedence over the C library's
// for every caller in the process; outside that moment it does what the C library does.
thread_local bool refuseSocketPair = false;

} // namespace

extern "C" int socketpair(int domain, int type, int protocol, int fds[2]) {
    if (refuseSocketPair) {
        errno = EMFILE;
        return -1;
    }
    return static_cast<int>(syscall(SYS_socketpair, domain, type, protocol, fds));
}

namespace mqtt::detail {

namespace {

mosquitto *NewBareHandle(const std::string &clientId, void *owner) {
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });
    refuseSocketPair = true;
    mosquitto *handle = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), true, owner);
    refuseSocketPair = false;
    return handle;
}

// Applies credentials, TLS and the last will; "" or the problem.
std::string Configure(mosquitto *handle, const Options &o) {
    if (!o.username.empty() && mosquitto_username_pw_set(handle, o.username.c_str(),
                                                         o.password.empty() ? nullptr : o.password.c_str()))
        return "the user name or password cannot be used";
    if (o.broker.tls) {
        if (o.certFile.empty() != o.keyFile.empty())
            return "a client certificate needs both its certificate file and its key file";
        // Without a CA file the broker is checked against the system's authorities.
        const char *caFile = o.caFile.empty() ? nullptr : o.caFile.c_str();
        const char *caPath = o.caFile.empty() ? "/etc/ssl/certs" : nullptr;
        const int rc =
            mosquitto_tls_set(handle, caFile, caPath, o.certFile.empty() ? nullptr : o.certFile.c_str(),
                              o.keyFile.empty() ? nullptr : o.keyFile.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return "TLS cannot be set up (CA file \"" + o.caFile + "\", certificate \"" + o.certFile +
                   "\", key \"" + o.keyFile + "\"): " + InWords(rc, errno);
    }
    const Message &w = o.will;
    if (!w.topic.empty() && mosquitto_will_set(handle, w.topic.c_str(), static_cast<int>(w.payload.size()),
                                               w.payload.data(), w.qos, w.retain))
        return "the last will on \"" + w.topic + "\" cannot be set (a topic without wildcards, QoS 0 or 1)";
    mosquitto_int_option(handle, MOSQ_OPT_TCP_NODELAY, 1); // samples are small, latency matters
    return {};
}

} // namespace

mosquitto *NewHandle(const Options &options, void *owner, std::string &problem) {
    mosquitto *handle = NewBareHandle(options.clientId, owner);
    if (!handle) {
        problem = "the MQTT client could not be made: " + InWords(MOSQ_ERR_ERRNO, errno);
        return nullptr;
    }
    problem = Configure(handle, options);
    if (problem.empty()) return handle;
    mosquitto_destroy(handle);
    return nullptr;
}

std::string InWords(int result, int errnoValue) {
    std::string words;
    switch (result) {
    case MOSQ_ERR_ERRNO:
        words = std::strerror(errnoValue);
        break;
    case MOSQ_ERR_CONN_LOST:
        words = "the connection was closed or reset";
        break;
    case MOSQ_ERR_KEEPALIVE:
        words = "no answer within the keepalive time";
        break;
    case MOSQ_ERR_EAI:
        words = "the host name cannot be resolved";
        break;
    default:
        words = mosquitto_strerror(result);
    }
    if (!words.empty() && words.back() == '.') words.pop_back();
    if (!words.empty() && words[0] >= 'A' && words[0] <= 'Z' && (words.size() < 2 || words[1] > 'Z'))
        words[0] = static_cast<char>(words[0] - 'A' + 'a');
    return words;
}

std::string RefusalInWords(int connackCode) {
    std::string words = mosquitto_connack_string(connackCode);
    const std::string prefix = "Connection Refused: ";
    if (words.rfind(prefix, 0) == 0) words.erase(0, prefix.size());
    if (!words.empty() && words.back() == '.') words.pop_back();
    return words;
}

} // namespace mqtt::detail
