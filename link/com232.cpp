#include "link/com232.h"

#include "link/linkstate.h"
#include "runtime/events.h"
#include "sensor/causes.h"

#include <QCoreApplication>
#include <QEventLoop>

using namespace runtime;

namespace programlink {
namespace {

bool IsSerial() {
    return com.comprotocol == 0;
}

// A good exchange after a failure shows the sensor's version again, unless the
// operation it belongs to has already failed (every failure clears the echo
// flag and poll; a new operation or a good echo sets them).
void NoteOutcome(bool ok) {
    if (!ok) {
        CopyText(com.szCause, LinkSensor().cause());
        return;
    }
    const bool operationFailed = !LinkSensor().echoOk() && !(linkProgram.poll && *linkProgram.poll == 1);
    if (com.statusStale && !operationFailed) {
        com.statusStale = false;
        com.szCause[0] = '\0';
        if (linkReport.statusAgain) linkReport.statusAgain();
    }
}

// Waits until an operation has ended. A connect takes no user input meanwhile,
// as the blocking connect the programs were written for.
bool WaitFor(const std::function<void(sensor::Sensor::Done)> &start, bool userInput) {
    bool finished = false, outcome = false;
    start([&](bool ok) {
        finished = true;
        outcome = ok;
    });
    while (!finished) {
        if (userInput)
            WaitForSystemEvents(1.0);
        else
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
    return outcome;
}

// Opens the sensor's transport at the settings in force; result in com.ret.
void OpenLink(bool userInput) {
    sensor::Sensor &s = LinkSensor();
    s.setAddress(LinkAddress());
    s.onLost = ClientTCPCB;
    s.onOutcome = NoteOutcome;
    s.setFrameSource(linkProgram.frames);
    s.setEchoTimeout(linkProgram.echoTimeout);
    s.setTrace(&LinkTrace());
    WaitFor([&s](sensor::Sensor::Done done) { s.open(std::move(done)); }, userInput);
    com.ret = static_cast<int16_t>(s.openResult().code);
    com.linkLost = false;
    if (com.ret < 0)
        CopyText(com.szCause, IsSerial() ? s.cause() : sensor::NamedTcpCause(com.ret, s.cause()));
}

} // namespace

void InitRS232() {
    if (linkProgram.poll) *linkProgram.poll = 0;
    OpenLink(true);
    if (com.ret < 0) {
        CopyText(com.szStatus, sensor::Rs232ErrorText(com.ret));
        if (linkReport.transportError) linkReport.transportError(false);
    }
}

void InitTCP_IP() {
    if (linkReport.waitCursor) linkReport.waitCursor(1);
    OpenLink(false);
    if (linkReport.waitCursor) linkReport.waitCursor(0);
    if (com.ret < 0) {
        CopyText(com.szStatus, sensor::TcpErrorText(com.ret));
        if (linkReport.transportError) linkReport.transportError(true);
        com.tcpcon = 0;
    } else {
        com.tcpcon = 1;
    }
}

void ClientTCPCB() {
    CopyText(com.szCause, LinkSensor().cause());
    com.linkLost = true;
    if (!IsSerial()) {
        com.tcpcon = 0;
        if (linkReport.serverClosed) linkReport.serverClosed();
    }
}

bool ReopenLostLink() {
    // A server that closed the connection, or a device plugged in again, is
    // tried once more before the operation reports a failure.
    if (com.linkLost && !LinkSensor().isOpen()) {
        OpenLink(IsSerial());
        if (com.ret >= 0 && !IsSerial()) com.tcpcon = 1;
    }
    return LinkSensor().isOpen();
}

bool RunLinkOperation(const std::function<void(sensor::Sensor::Done)> &start) {
    ReopenLostLink();
    return WaitFor(start, true);
}

int FillTxBuf(uint16_t order, uint16_t a, uint16_t b, uint16_t n) {
    return LinkSensor().fillFrame(order, a, b, n) ? 0 : -1;
}

int SendTxBuf() {
    return LinkSensor().send();
}

void WaitForAnswer(double timeout) {
    RunLinkOperation([timeout](sensor::Sensor::Done done) { LinkSensor().awaitAnswer(timeout, std::move(done)); });
}

bool ExchangeFrame(double timeout) {
    return RunLinkOperation(
        [timeout](sensor::Sensor::Done done) { LinkSensor().exchange(timeout, std::move(done)); });
}

void CheckEcho(int len) {
    if (!RunLinkOperation([len](sensor::Sensor::Done done) { LinkSensor().checkEcho(len, std::move(done)); }))
        SetPopupTimeout();
}

bool CheckComLine() {
    if (linkProgram.stopAutoSend) linkProgram.stopAutoSend();
    if (!RunLinkOperation([](sensor::Sensor::Done done) { LinkSensor().queryVersion(std::move(done)); })) {
        SetPopupTimeout();
        return false;
    }
    if (linkReport.versionAnswered) linkReport.versionAnswered();
    const bool passed = linkProgram.afterVersion ? linkProgram.afterVersion() : true;
    if (passed && linkReport.testPassed) linkReport.testPassed();
    return true;
}

void SetPopupTimeout() {
    if (linkProgram.poll) *linkProgram.poll = 0;
    LinkSensor().setEchoOk(false);
    com.statusStale = true;
    if (linkReport.timeout) linkReport.timeout();
}

} // namespace programlink
