#include "sensor/transport.h"

namespace sensor {

std::unique_ptr<Transport> MakeTransport(const Address &address, int connectTimeoutMs) {
    if (address.tcp) return MakeTcpTransport(address.host, address.port, connectTimeoutMs);
    return MakeSerialTransport(address.device);
}

} // namespace sensor
