#include "vexa/sensorlink.h"

#include "link/com232.h"
#include "link/linkstate.h"
#include "vexa/livedata.h"
#include "vexa/paravars.h"
#include "vexalink/paralink.h"

using namespace programlink;

namespace vexaprogram {
namespace {

vexalink::ParameterFrames &Frames() {
    static vexalink::ParameterFrames frames(para);
    return frames;
}

} // namespace

void SetUpParameterLink() {
    linkProgram = LinkProgram{};
    linkProgram.frames = &Frames();
    linkProgram.echoTimeout = sensor::kAnswerTimeout;
    linkProgram.stopAutoSend = StopAutoSend;
}

void StopAutoSend() {
    vexalink::StopAutoSend(LinkSensor());
}

bool WriteRecord(uint16_t target, int &confirmed) {
    return RunLinkOperation([target, &confirmed](sensor::Sensor::Done done) {
        vexalink::WriteSet(LinkSensor(), target, SetPopupTimeout, std::move(done), &confirmed);
    });
}

bool ReadIntoVars(uint16_t target) {
    return RunLinkOperation([target](sensor::Sensor::Done done) {
        vexalink::ReadSet(LinkSensor(), para, target, SetPopupTimeout, std::move(done));
    });
}

void GetDataFrame() {
    ExchangeFrame(kAnswerTimeout);
}

bool PollDataFrame() {
    return RunLinkOperation(
        [](sensor::Sensor::Done done) { vexalink::PollData(LinkSensor(), live, std::move(done)); });
}

void GetRxBufData() {
    live.takeFrame(LinkSensor());
}

void CopyDatatoVars() {
    live.copyDatatoVars();
}

} // namespace vexaprogram
