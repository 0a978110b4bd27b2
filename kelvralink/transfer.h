// Writes a data panel's correction-factor tables into the sensor's memory as an
// operation on its sensor object: block announcements, then echo-checked block
// writes of ten words each. KelvraV12's transfer button and the command-line
// tool both run it, so both send the same frames.
#pragma once

#include "kelvralink/kelvradata.h"
#include "kelvralink/paneltable.h"
#include "sensor/sensor.h"

#include <cstdint>
#include <functional>

namespace kelvralink {

// Command frames of the compensation program (its FillTxBuf): a block address
// (command 180), or address, count and data words from words (command 182).
class CompensationFrames final : public sensor::FrameSource {
  public:
    explicit CompensationFrames(uint16_t (&words)[kCfSendWords]) : m_words(words) {}
    bool fill(sensor::Sensor &s, uint16_t order, uint16_t a, uint16_t b, uint16_t n) override;

  private:
    uint16_t (&m_words)[kCfSendWords];
};

// Where block-write frame f of a panel's plan takes its words from
// (dataCfSendBuf) and where it puts them in the sensor.
struct FrameSlot {
    uint16_t source;
    uint16_t address;
};
FrameSlot TransferFrame(const PanelDesc &p, int f);

// Copies the words the plan sends, channel after channel, from the factor
// arrays into words.
void StageFactors(const PanelDesc &p, uint16_t (&words)[kCfSendWords]);

// What a failed exchange does besides ending the transfer: the program's
// time-out handler. The echo flag is already cleared when it runs.
using OnFailure = std::function<void()>;

// Lets frames come from frames' words, with echoes awaited 2 s.
void SetUp(sensor::Sensor &s, CompensationFrames &frames);
// Opens the link and asks for the version, as the program connects.
void Connect(sensor::Sensor &s, sensor::Sensor::Done done);
// How far a transfer came: the data frames confirmed, and whether a data frame
// had gone out (so that the sensor may hold part of the new tables).
struct TransferReach {
    int framesConfirmed = 0;
    bool writing = false;
};

// Writes panel p's correction factors into the sensor: block announcements,
// then the block writes of the words staged in the sensor's frame source
// (StageFactors). progress gets the indicator's value after each confirmed
// write frame; reach, when given, how far the transfer came (it must outlive
// the transfer). done(true) when every frame was confirmed.
void WriteFactors(sensor::Sensor &s, const PanelDesc &p, std::function<void(double)> progress,
                  OnFailure failed, sensor::Sensor::Done done, TransferReach *reach = nullptr);

} // namespace kelvralink
