// The three-channel sensor's exchanges as operations on its sensor object: the
// parameter set in RAM or EEPROM, the live-data request and the auto-send
// switch. VexaV32's buttons and the command-line tool both run these, so both
// send the same frames.
#pragma once

#include "sensor/sensor.h"
#include "vexalink/paraset.h"

#include <cstdint>
#include <functional>

namespace vexalink {

// Memory selected for parameter transfers.
enum Memory : uint16_t { RAM = 1, EEPROM = 2, DATFILE = 3 };

// The words of the last complete data frame, under the live variables' names.
struct LiveValues {
    uint16_t databuf[sensor::kFrameWords] = {}; // the frame, word by word
    uint16_t dataChL = 0, dataChC = 0, dataChR = 0;
    uint16_t dataDensity = 0, dataSym1 = 0, dataSym2 = 0;
    uint16_t dataVec = 0, dataTemp = 0;
    uint16_t dataAktMaxChL = 0, dataAktMaxChC = 0, dataAktMaxChR = 0;
    uint16_t dataTrigger = 0;

    // The answer's words 0..17 into databuf (GetRxBufData).
    void takeFrame(const sensor::Sensor &s);
    // Data frame words 2..13 into the live variables (CopyDatatoVars).
    void copyDatatoVars();
};

// Command frames of the parameter program (its FillTxBuf): words from the
// parameter record pp, a teach row, or a single argument.
class ParameterFrames final : public sensor::FrameSource {
  public:
    explicit ParameterFrames(ParaState &set) : m_set(set) {}
    bool fill(sensor::Sensor &s, uint16_t order, uint16_t a, uint16_t b, uint16_t n) override;

  private:
    ParaState &m_set;
};

// What a failed exchange does besides ending its operation: the program's
// time-out handler. The echo flag is already cleared when it runs.
using OnFailure = std::function<void()>;

// Lets frames come from the record of frames' set, with echoes awaited 3 s.
void SetUp(sensor::Sensor &s, ParameterFrames &frames);
// Switches the sensor's auto-send off (command 50, argument 0); no answer is awaited.
void StopAutoSend(sensor::Sensor &s);
// Opens the link, stops auto-send and asks for the version, as the program
// connects; done(false) with the sensor's cause when any step failed.
void Connect(sensor::Sensor &s, sensor::Sensor::Done done);
// The answer's words 0..17 into set.pp (word j from bytes 2j and 2j + 1).
void GetRxBufPara(const sensor::Sensor &s, ParaState &set);
// One read exchange of the frame built (command 3 or 4): sends it, waits 3 s for
// the whole answer and decodes it into set (GetRxBufPara, then the variables);
// a failure goes through failed.
void Befehl3plus4(sensor::Sensor &s, ParaState &set, OnFailure failed, sensor::Sensor::Done done);
// Reads the sensor's set into set: command 8 first from EEPROM, then command 3
// and command 4 for each teach row. A failed command 3 is followed by row 0,
// then the read stops. done(false) when it stopped.
void ReadSet(sensor::Sensor &s, ParaState &set, uint16_t memory, OnFailure failed, sensor::Sensor::Done done);
// Writes the record in set.pp: command 1, command 2 for each teach row, then
// command 6 into EEPROM. Stops at the first failed echo. confirmed, when given,
// counts the confirmed frames: 1 for the parameters, then one per teach row, then
// the store (it must outlive the write).
void WriteSet(sensor::Sensor &s, uint16_t memory, OnFailure failed, sensor::Sensor::Done done,
              int *confirmed = nullptr);
// One live-data exchange (command 5, 3 s); on success the answer in live. The
// caller reports a failure.
void PollData(sensor::Sensor &s, LiveValues &live, sensor::Sensor::Done done);

} // namespace vexalink
