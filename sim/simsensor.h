// The simulated sensor: model, transports, faults and capture, served by a thread of
// its own or, for many sensors, by the one thread of a SensorFarm.
//
//   sim::SimSensor sensor;
//   int port = sensor.listenTcp();          // or: std::string dev = sensor.openPty();
//   sensor.setVersion("HUEMA-PX V1.1");
//   sensor.setFault({.kind = sim::FaultKind::NoAnswer, .command = 7});
//   ... run the program under test ...
//   sensor.compMemory(); sensor.memory(); sensor.capture();
//
//   sim::SensorFarm farm;                   // hundreds of sensors, one thread
//   std::vector<std::unique_ptr<sim::SimSensor>> sensors;
//   for (int k = 0; k < 200; ++k) sensors.push_back(std::make_unique<sim::SimSensor>(farm));
//   int first = sim::listenOnConsecutivePorts(sensors);   // sim/portblock.h: sensor k on first + k
//
// Every public function is thread-safe. The sensor answers from its service thread, so
// it keeps answering while the caller's thread blocks or busy-waits.
#pragma once

#include "sim/capture.h"
#include "sim/farmloop.h"
#include "sim/faults.h"
#include "sim/framer.h"
#include "sim/sensormodel.h"
#include "sim/wire.h"

#include <chrono>
#include <deque>
#include <memory>

namespace sim {

// One service thread for any number of sensors: their sockets, pseudo-terminals and
// timers share one wait. Copies share the thread. The farm and its sensors may go in
// any order; the thread ends with the last of them.
class SensorFarm {
  public:
    // Starts the thread. Throws std::runtime_error when the kernel refuses a descriptor.
    SensorFarm();
    // Number of sensors it serves.
    std::size_t size() const;

  private:
    friend class SimSensor;
    std::shared_ptr<FarmLoop> m_loop;
};

class SimSensor : private FarmMember {
  public:
    // Time one byte takes on the wire at 19200 baud (start bit, 8 data bits, stop bit).
    static constexpr double kByteSeconds = 10.0 / 19200;

    // A sensor with a service thread of its own; no transport is open yet.
    SimSensor();
    // A sensor served by the farm's thread; no transport is open yet.
    explicit SimSensor(const SensorFarm &farm);
    // Leaves the service thread (ending it when nothing else uses it) and closes every
    // transport, so that a new sensor can listen on the same port at once.
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
    // Data frames carry slowly varying values (the default); sensors with different
    // seeds drift apart, sensors with the same seed move alike.
    void setDrift(unsigned seed = 0);
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
    // Keeps at most this many entries for capture() (0: none, only the listener sees them).
    void setCaptureLimit(std::size_t entries);
    // Calls l with each new capture entry, on the service thread; l must not call into
    // this sensor or another one of its farm.
    void setCaptureListener(Capture::Listener l);

    // Seconds since the sensor was created: the clock of the capture time stamps.
    double now() const;

  private:
    // Descriptor roles towards the farm: the two links, then the listening socket.
    enum Port { PtyPort, TcpPort, kPorts };
    static constexpr unsigned kListenerRole = kPorts;
    struct Link {
        int fd = -1;
        Framer framer;
        bool watchingWrites = false;
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

    Clock::time_point serve(unsigned readable) override;
    void watchWrites();
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

    const std::shared_ptr<FarmLoop> m_loop;
    std::mutex &m_mutex; // the farm's: guards everything below
    std::uint64_t m_key = 0;
    const Clock::time_point m_start = Clock::now();
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
};

} // namespace sim
