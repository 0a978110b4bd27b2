// What the fuzz targets share: a scratch file for the file readers, a check that
// stops the run when a rule is broken, the run-time set-up of the transport
// targets, a serial line into a sensor's receive path, and the checks on the
// decoders of an answer.
#pragma once

#include "sensor/sensor.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Stops the run as a crash when a rule that must hold for every input is broken.
#define FUZZ_CHECK(cond) ((cond) ? void(0) : fuzz::Fail(#cond, __FILE__, __LINE__))

namespace fuzz {

[[noreturn]] void Fail(const char *what, const char *file, int line);

// The path of file name in a private temporary directory, removed at exit.
std::string ScratchPath(const char *name);
// Replaces that file with the input bytes; returns its path.
std::string WriteScratch(const uint8_t *data, std::size_t size, const char *name);

// Starts the run-time layer offscreen, once: the transport targets need its event loop.
void StartRunTime();
// Lets events run until done() holds or seconds pass; done().
bool RunEventsUntil(const std::function<bool()> &done, double seconds);
// Runs an operation of a sensor until its done runs; its outcome. An operation
// that does not end within seconds breaks a rule.
bool Finish(const std::function<void(sensor::Sensor::Done)> &start, double seconds);

// A pseudo-terminal whose slave a sensor has open as its serial port: bytes
// written to the master reach the sensor's serial receive path.
class SerialLine {
  public:
    SerialLine();
    sensor::Sensor &sensor();
    // Writes what the line takes; a full line buffer drops the rest, as a real line would.
    std::size_t write(const uint8_t *data, std::size_t size);
    // Returns once the sensor's port has taken what was written, up to its
    // queue's size: what an answer wait then finds is all that came.
    void settle(std::size_t written);

  private:
    int m_master = -1;
    int m_observer = -1; // the slave, opened before the port: shows what the port has not taken yet
};

// Decodes what the sensor's answer buffer holds the ways the programs do (echo
// check, words) and checks that every result stays inside its buffer.
void CheckLinkDecoders(const sensor::Sensor &s);
// VexaV32's use of an answer: parameter or teach-row frame into the
// variables, data frame into the live values.
void CheckParameterAnswer(const sensor::Sensor &s);

} // namespace fuzz
