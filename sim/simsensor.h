// The simulated sensor: model, transports, faults and capture, on a thread of its own.
//
//   sim::SimSensor sensor;
//   int port = sensor.listenTcp();          // or: std::string dev = sensor.openPty();
//   sensor.setVersion("HUEMA-PX V1.1");
//   sensor.setFault({.kind = sim::FaultKind::NoAnswer, .command = 7});
//   ... run the program under test ...
//   sensor.compMemory(); sensor.memory(); sensor.capture();
//
// Every public function is thread-safe. The sensor answers from its own thread, so it
// keeps answering while the caller's thread blocks or busy-waits.
#pragma once

#include "sim/capture.h"
#include "sim/faults.h"
#include "sim/framer.h"
#include "sim/sensormodel.h"
#include "sim/wire.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace sim {

class SimSensor {
  public:
    // Time one byte takes on the wire at 19200 baud (start bit, 8 data bits, stop bit).
    static constexpr double kByteSeconds = 10.0 / 19200;

    // Starts the sensor's thread; no transport is open yet.
    SimSensor();
    // Stops the thread and closes every transport.
    ~SimSensor();
    SimSensor(const SimSensor &) = delete;
    SimSensor &operator=(const SimSensor &) = delete;

    // Serves raw bytes over TCP on address:port (0 = a free port); returns the port.
    // One client at a time: a new connection replaces the previous one. Throws on failure.
    int listenTcp(int port = 0, const std::string &address = "127.0.0.1");
    // Opens a pseudo-terminal (once) and returns the device path a program opens as its
    // serial port. Throws on failure.
    std::string openPty();
    // Sends every byte at the pace of a 19200-baud line instead of at once.
    void setPacing(bool on);

    // Sets the text of the version answer (first 36 bytes; default "VEXA V3.2").
    void setVersion(const std::string &text);
    // The text of the version answer.
    std::string version() const;
    // Parameter set and teach table in RAM and in EEPROM.
    SensorMemory memory() const;
    // Replaces RAM and EEPROM contents.
    void setMemory(const SensorMemory &m);
    // Words written and blocks announced by the compensation commands.
    CompMemory compMemory() const;
    // Empties the compensation memory.
    void clearCompMemory();
    // True while auto-send is switched on.
    bool autoSend() const;
    // Number of command frames received so far.
    long framesReceived() const;

    // Every data frame carries these values.
    void setMeasurement(const Measurement &m);
    // Data frames take the entries in order; the last one repeats.
    void setScript(std::vector<Measurement> script);
    // Data frames carry slowly varying values (the default).
    void setDrift();
    // Fires the trigger this many times per second (0 = only fireTrigger; the default).
    void setTriggerRate(double perSecond);
    // Fires the trigger once: with auto-send on, the sensor sends one data frame.
    void fireTrigger();

    // Arms a fault; a frame-numbered fault counts from the next frame received.
    void setFault(const Fault &f);
    // Disarms every fault.
    void clearFaults();

    // Every byte received and sent so far, grouped as frames, oldest first.
    std::vector<CaptureEntry> capture() const;
    // Forgets the capture so far.
    void clearCapture();
    // Calls l with each new capture entry, on the sensor's thread; l must not call back
    // into the sensor.
    void setCaptureListener(Capture::Listener l);

    // Seconds since the sensor was created: the clock of the capture time stamps.
    double now() const;

  private:
    using Clock = std::chrono::steady_clock;
    enum Port { PtyPort, TcpPort, kPorts };
    struct Link {
        int fd = -1;
        Framer framer;
    };
    struct Outgoing {
        Port port;
        Bytes bytes;
        Clock::time_point due;
        bool close = false;
        bool started = false;
        std::size_t sent = 0;
        Clock::time_point nextByte{}; // paced: when the next byte has crossed the wire
    };

    void run();
    void wake();
    void acceptNewClient();
    void readLink(Port port);
    void receive(Port port, const std::uint8_t *data, std::size_t n);
    void answer(Port port, const Frame &cmd);
    void schedule(Port port, const ReplyPlan &plan);
    void runTriggers(Clock::time_point now);
    void pumpOutput(Clock::time_point now);
    enum class WriteResult { Done, Wait, Failed };
    WriteResult writeDue(Outgoing &o, Clock::time_point now);
    void closeLink(Port port);
    Clock::time_point nextWakeUp() const;
    double seconds(Clock::time_point t) const;

    const Clock::time_point m_start = Clock::now();
    mutable std::mutex m_mutex; // guards everything below
    SensorModel m_model;
    FaultTable m_faults;
    Capture m_capture;
    long m_frames = 0;
    bool m_pacing = false;
    double m_triggerRate = 0;
    int m_pendingTriggers = 0;
    Clock::time_point m_nextTrigger;
    int m_listenFd = -1;
    PtyDevice m_pty;
    Link m_links[kPorts];
    Port m_autoSendPort = TcpPort;
    std::deque<Outgoing> m_out;
    bool m_writeBlocked = false;
    Clock::time_point m_lineFree; // paced: when the last byte sent has crossed the wire
    bool m_stop = false;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_thread;
};

} // namespace sim
