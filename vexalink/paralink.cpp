#include "vexalink/paralink.h"

#include <algorithm>
#include <iterator>

namespace vexalink {
namespace {

using sensor::Sensor;

constexpr uint16_t kWriteSetCommand = 1;
constexpr uint16_t kWriteRowCommand = 2;
constexpr uint16_t kReadSetCommand = 3;
constexpr uint16_t kReadRowCommand = 4;
constexpr uint16_t kDataCommand = 5;
constexpr uint16_t kStoreCommand = 6;
constexpr uint16_t kLoadCommand = 8;
constexpr uint16_t kAutoSendCommand = 50;
constexpr int kFirstDataWord = 2;

// The live variables of frame words 2..13, in word order.
constexpr uint16_t LiveValues::*kFrameVars[] = {
    &LiveValues::dataChL,       &LiveValues::dataChC,       &LiveValues::dataChR,
    &LiveValues::dataDensity,   &LiveValues::dataSym1,      &LiveValues::dataSym2,
    &LiveValues::dataVec,       &LiveValues::dataTemp,      &LiveValues::dataAktMaxChL,
    &LiveValues::dataAktMaxChC, &LiveValues::dataAktMaxChR, &LiveValues::dataTrigger,
};

void PutWord(Sensor &s, int k, uint16_t value) {
    s.putWord(k, value);
}

// Every failed exchange ends here: the echo flag cleared, then the program's handler.
void Failed(Sensor &s, const OnFailure &failed) {
    s.setEchoOk(false);
    if (failed) failed();
}

// Writes a frame and checks its echo over len words; a failure goes through failed.
void SendChecked(Sensor &s, uint16_t order, int len, uint16_t argument, OnFailure failed, Sensor::Done done) {
    s.fillFrame(order, argument);
    s.send();
    s.checkEcho(len, [&s, failed = std::move(failed), done = std::move(done)](bool ok) {
        if (!ok) Failed(s, failed);
        done(ok);
    });
}

void ReadRows(Sensor &s, ParaState &set, OnFailure failed, Sensor::Done done, uint16_t row) {
    if (row == kTeachRows) return done(true);
    s.fillFrame(kReadRowCommand, row);
    Befehl3plus4(s, set, failed, [&s, &set, failed, done = std::move(done), row](bool) mutable {
        if (!s.echoOk()) return done(false);
        ReadRows(s, set, std::move(failed), std::move(done), row + 1);
    });
}

// Command 3, then the teach rows: what a read does once EEPROM is loaded into RAM.
void ReadFromRam(Sensor &s, ParaState &set, OnFailure failed, Sensor::Done done) {
    s.fillFrame(kReadSetCommand);
    // Not checked: a failed command 3 still exchanges row 0, then the read stops.
    Befehl3plus4(s, set, failed, [&s, &set, failed, done = std::move(done)](bool) mutable {
        ReadRows(s, set, std::move(failed), std::move(done), 0);
    });
}

void WriteRows(Sensor &s, uint16_t memory, OnFailure failed, Sensor::Done done, uint16_t row,
               int *confirmed) {
    if (row == kTeachRows) {
        if (memory != EEPROM) return done(true);
        return SendChecked(s, kStoreCommand, 2, 0, std::move(failed),
                           [confirmed, done = std::move(done)](bool ok) {
                               if (ok && confirmed) ++*confirmed;
                               done(ok);
                           });
    }
    SendChecked(s, kWriteRowCommand, 6, row, failed,
                [&s, memory, failed, done = std::move(done), row, confirmed](bool ok) mutable {
                    if (!ok) return done(false);
                    if (confirmed) ++*confirmed;
                    WriteRows(s, memory, std::move(failed), std::move(done), row + 1, confirmed);
                });
}

} // namespace

void GetRxBufPara(const Sensor &s, ParaState &set) {
    for (int j = 0; j < sensor::kFrameWords; ++j)
        set.pp[j] = s.answerWord(j);
}

void Befehl3plus4(Sensor &s, ParaState &set, OnFailure failed, Sensor::Done done) {
    s.exchange(sensor::kAnswerTimeout, [&s, &set, failed = std::move(failed), done = std::move(done)](bool ok) {
        if (ok) {
            GetRxBufPara(s, set);
            set.copyPPtoVars();
        } else {
            Failed(s, failed);
        }
        done(ok);
    });
}

void LiveValues::takeFrame(const Sensor &s) {
    for (int j = 0; j < sensor::kFrameWords; ++j)
        databuf[j] = s.answerWord(j);
}

void LiveValues::copyDatatoVars() {
    for (std::size_t k = 0; k < std::size(kFrameVars); ++k)
        this->*kFrameVars[k] = databuf[kFirstDataWord + k];
}

bool ParameterFrames::fill(Sensor &s, uint16_t order, uint16_t a, uint16_t, uint16_t) {
    const uint16_t *pp = m_set.pp;
    if (order == kWriteRowCommand) {
        if (16 + 6 * a + 5 >= kAnzPara) return false;
        PutWord(s, 2, a);
        for (int j = 0; j < kTeachValues; ++j)
            PutWord(s, 3 + j, pp[16 + 6 * a + j]);
    } else if (order == kReadRowCommand || order == kAutoSendCommand) {
        PutWord(s, 2, a);
    } else {
        // anzframe words from the record's head; the last two land beyond byte 35
        // and are never sent.
        for (int k = 0; k < sensor::kFrameWords; ++k)
            PutWord(s, k + 2, pp[k]);
    }
    return true;
}

void SetUp(Sensor &s, ParameterFrames &frames) {
    s.setFrameSource(&frames);
    s.setEchoTimeout(sensor::kAnswerTimeout);
}

void StopAutoSend(Sensor &s) {
    s.fillFrame(kAutoSendCommand, 0);
    s.discardQueues();
    s.send();
}

void Connect(Sensor &s, Sensor::Done done) {
    s.open([&s, done = std::move(done)](bool opened) mutable {
        if (!opened) return done(false);
        StopAutoSend(s);
        s.queryVersion(std::move(done));
    });
}

void ReadSet(Sensor &s, ParaState &set, uint16_t memory, OnFailure failed, Sensor::Done done) {
    s.setEchoOk(true);
    s.discardQueues();
    if (memory != EEPROM) return ReadFromRam(s, set, std::move(failed), std::move(done));
    SendChecked(s, kLoadCommand, 2, 0, failed, [&s, &set, failed, done = std::move(done)](bool ok) mutable {
        if (!ok) return done(false);
        ReadFromRam(s, set, std::move(failed), std::move(done));
    });
}

void WriteSet(Sensor &s, uint16_t memory, OnFailure failed, Sensor::Done done, int *confirmed) {
    if (confirmed) *confirmed = 0;
    s.discardQueues();
    SendChecked(s, kWriteSetCommand, 18, 0, failed,
                [&s, memory, failed, done = std::move(done), confirmed](bool ok) mutable {
                    if (!ok) return done(false);
                    if (confirmed) ++*confirmed;
                    WriteRows(s, memory, std::move(failed), std::move(done), 0, confirmed);
                });
}

void PollData(Sensor &s, LiveValues &live, Sensor::Done done) {
    s.fillFrame(kDataCommand);
    s.exchange(sensor::kAnswerTimeout, [&s, &live, done = std::move(done)](bool ok) {
        if (ok) {
            live.takeFrame(s);
            live.copyDatatoVars();
        }
        done(ok);
    });
}

} // namespace vexalink
