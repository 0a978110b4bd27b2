// What the serial and the TCP transport share: a non-blocking descriptor in
// the thread's epoll set, bytes read straight from the system when the sensor
// wants them, and an output queue for what the system would not take at once.
// Descriptors rather than QSerialPort and QTcpSocket: each of those brings
// socket notifiers of its own, and the event loop looks at every one of them
// at every wake-up, which at a thousand sensors costs more than the exchanges.
#pragma once

#include "runtime/ioloop.h"
#include "sensor/transport.h"

#include <QObject>

#include <string>

namespace sensor {

class FdTransport : public Transport {
  public:
    ~FdTransport() override;

    void close() override;
    bool isOpen() const override { return m_fd >= 0 && m_open; }
    int write(const char *bytes, int count) override;
    int available() const override;
    int read(char *into, int max) override;
    void discardOutput() override { m_output.clear(), m_watch.wantWrite(false); }
    int pendingOutput() const override { return static_cast<int>(m_output.size()); }

  protected:
    // Takes fd in as open: watched for arrivals, closed by close().
    bool adopt(int fd, std::string &problem);
    // Reports an open's outcome from the event loop, never inside open().
    void report(std::function<void(const OpenResult &)> done, const OpenResult &result);
    // Bytes that may be taken at once; a serial queue holds at most its size.
    virtual int queueLimit() const = 0;
    // The code a write gets on a closed or failed transport.
    virtual int closedCode() const = 0;
    // Called for the descriptor's events; handles writing and the far end's close.
    virtual void ready(unsigned events);
    void lost();

    int m_fd = -1;
    bool m_open = false;
    runtime::IoWatch m_watch;
    std::string m_output; // bytes the system has not taken yet
    QObject m_guard;      // ends pending reports when the transport goes
    unsigned m_epoch = 0; // counts closes, so that a report for an earlier open is dropped

  private:
    void flush();
};

} // namespace sensor
