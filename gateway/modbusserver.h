// The gateway's Modbus TCP server: the register table of modbus.h for every unit
// id that the lookup knows, read-only, on the gateway's event loop.
//
// Debian 12's Qt Serial Bus serves one unit id per server and libmodbus blocks, so
// a small server of our own on QTcpServer is the right size here.
#pragma once

#include "gateway/listener.h"
#include "gateway/modbus.h"

#include <cstdint>
#include <string>

namespace gateway {

class ModbusServer {
  public:
    ModbusServer(UnitLookup lookup, ListenerLimits limits);

    // Starts serving; false with the reason in problem.
    bool Listen(const QHostAddress &address, uint16_t port, std::string &problem);
    uint16_t Port() const { return m_listener.Port(); }
    // New limits for connections from now on; those open stay.
    void SetLimits(ListenerLimits limits) { m_listener.SetLimits(std::move(limits)); }
    ModbusCounters Counters() const;

  private:
    void Serve(QTcpSocket *socket);
    // Answers every complete request in pending; false when the connection must close.
    bool AnswerPending(std::vector<uint8_t> &pending, std::vector<uint8_t> &answers);

    UnitLookup m_lookup;
    ModbusCounters m_counters;
    Listener m_listener;
};

} // namespace gateway
