// libmodbus as the independent Modbus TCP client of the gateway's tests and
// benchmarks: it shares no code with the server and blocks, so it runs on a thread
// of its own when the server is in the same process.
#pragma once

#include <modbus.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace testmodbus {

class Client {
  public:
    Client(int port, int unit) : m_context(modbus_new_tcp("127.0.0.1", port)) {
        modbus_set_slave(m_context, unit);
        modbus_set_response_timeout(m_context, 5, 0);
    }
    ~Client() {
        modbus_close(m_context);
        modbus_free(m_context);
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool Connect() { return modbus_connect(m_context) == 0; }
    // The unit id the next requests go to.
    void SetUnit(int unit) { modbus_set_slave(m_context, unit); }
    // The registers read with function 3 or 4, or the exception code (as a negative
    // number) that came instead; -1000 when no answer came at all.
    std::vector<int> Read(int function, int address, int quantity) {
        uint16_t words[125] = {};
        const int got = function == 3 ? modbus_read_registers(m_context, address, quantity, words)
                                      : modbus_read_input_registers(m_context, address, quantity, words);
        if (got < 0) return {Failure()};
        return std::vector<int>(words, words + got);
    }
    // Writes one register (function 6): 0 when the server took it, else as Read.
    int WriteRegister(int address, uint16_t value) {
        return modbus_write_register(m_context, address, value) < 0 ? Failure() : 0;
    }
    // Writes registers (function 16): 0 when the server took them, else as Read.
    int WriteRegisters(int address, const std::vector<uint16_t> &values) {
        return modbus_write_registers(m_context, address, static_cast<int>(values.size()), values.data()) < 0
                   ? Failure()
                   : 0;
    }

  private:
    static int Failure() { return errno > MODBUS_ENOBASE ? -(errno - MODBUS_ENOBASE) : -1000; }

    modbus_t *m_context;
};

} // namespace testmodbus
