#include "link/com232.h"

#include "link/errortexts.h"
#include "link/frame.h"
#include "link/linkstate.h"
#include "link/linktrace.h"
#include "platform/events.h"
#include "platform/rs232.h"
#include "platform/tcpsupp.h"
#include "platform/utility.h"

#include <algorithm>

namespace {

constexpr int kFrameBytes = kFrameWords * 2;
constexpr long kBaudRate = 19200;
constexpr double kSerialIoTimeout = 2.0;
constexpr unsigned kConnectTimeoutMs = 5000;
constexpr int kTcpReadTimeoutMs = 5000;
constexpr int kVersionWriteTimeoutMs = 5000;
constexpr double kVersionTimeoutRs232 = 3.0;
constexpr double kVersionTimeoutTcp = 5.0;
constexpr double kVersionPause = 0.1;

double lastWaitTimeout = 0.0; // of the answer wait that ran last, for its cause text

bool IsSerial() {
    return com.comprotocol == 0;
}

// Why the exchange just waited for failed; "" when it did not.
std::string FailureCause(int echoWords) {
    if (IsSerial() && com.dataSize < 0) return DeviceLostCause(LinkPlace());
    if (com.bytesToRead != 0 && com.nBytesW != kFrameBytes) return UnwrittenCause(LinkPlace(), com.nBytesW);
    if (com.bytesToRead != 0 && !IsSerial() && com.tcpcon == 0) return ServerClosedCause(LinkPlace());
    const int count = IsSerial() ? com.dataSize : com.dataSize - com.bytesToRead;
    return AnswerCause({LinkPlace(), lastWaitTimeout, com.szReadBuf, count, std::min(count, kLinkBufSize),
                        com.szWriteBuf, echoWords});
}

// Records how an exchange ended: a failure's cause for SetPopupTimeout, a
// success in the trace. A good exchange after a failure shows the sensor's
// version again, unless the operation it belongs to has already failed (every
// failure clears comecho and poll; a new operation or a good echo sets them).
bool NoteOutcome(int echoWords) {
    const std::string cause = FailureCause(echoWords);
    if (!cause.empty()) {
        CopyText(com.szCause, cause);
        return false;
    }
    TraceOutcome("ok");
    const bool operationFailed = com.comecho == 0 && !(linkProgram.poll && *linkProgram.poll == 1);
    if (com.statusStale && !operationFailed) {
        com.statusStale = false;
        com.szCause[0] = '\0';
        if (linkReport.statusAgain) linkReport.statusAgain();
    }
    return true;
}

// A read inside the data-ready loop never waits past the answer wait in progress,
// so the loop always ends once the wait has given up.
unsigned ReadTimeoutMs() {
    if (com.answerDeadline <= 0.0) return 0;
    const double left = (com.answerDeadline - Timer()) * 1000.0;
    return static_cast<unsigned>(std::clamp(left, 0.0, static_cast<double>(kTcpReadTimeoutMs)));
}

// Reads and drops what has come while no answer is awaited; more than a buffer
// full is announced again and dropped then.
void DropPendingBytes(unsigned handle) {
    char scratch[kLinkBufSize];
    ClientTCPRead(handle, scratch, sizeof scratch, 0);
}

// Stores arriving answer bytes at their place in szReadBuf until the answer is
// complete, a read fails, or the wait has given up.
void ReadAwaitedBytes(unsigned handle) {
    while (com.bytesToRead > 0) {
        const int pos = com.dataSize - com.bytesToRead;
        if (pos < 0 || pos >= kLinkBufSize) return;
        const int count = std::min(com.bytesToRead, kLinkBufSize - pos);
        com.bytesRead =
            ClientTCPRead(handle, com.szReadBuf + pos, static_cast<unsigned>(count), ReadTimeoutMs());
        if (com.bytesRead <= 0) return;
        com.bytesToRead -= com.bytesRead;
        if (linkProgram.eventsWhileReading) ProcessSystemEvents();
    }
}

void WaitOnSerialQueue(double timeout) {
    com.tstart = Timer();
    com.tdiff = 0.0;
    do {
        WaitForSystemEvents(timeout - com.tdiff);
        com.dataSize = GetInQLen(com.comport);
        com.tdiff = Timer() - com.tstart;
    } while (!(com.tdiff > timeout) && com.dataSize < kFrameBytes);
    // Never more than the buffer holds: a larger queue counts as a wrong-length answer.
    const int count = std::clamp(com.dataSize, 0, kLinkBufSize);
    if (count > 0) ComRd(com.comport, com.szReadBuf, count);
    com.bytesToRead = kFrameBytes - com.dataSize;
}

void WaitOnTcpCallback(double timeout) {
    com.tstart = Timer();
    com.answerDeadline = com.tstart + timeout;
    com.tdiff = 0.0;
    while (com.bytesToRead > 0) {
        WaitForSystemEvents(timeout - com.tdiff);
        com.tdiff = Timer() - com.tstart;
        if (com.tdiff > timeout) break;
    }
    com.answerDeadline = 0.0;
}

// Lets events run for the given seconds.
void PauseWithEvents(double seconds) {
    com.tstart = Timer();
    com.tdiff = 0.0;
    while (com.tdiff < seconds) {
        WaitForSystemEvents(seconds - com.tdiff);
        com.tdiff = Timer() - com.tstart;
    }
}

} // namespace

void InitRS232() {
    if (linkProgram.poll) *linkProgram.poll = 0;
    CloseCom(com.comport);
    com.ret = static_cast<int16_t>(
        OpenComConfig(com.comport, com.comDevice, kBaudRate, 0, 8, 1, kLinkBufSize, kLinkBufSize));
    if (com.ret < 0) {
        CopyText(com.szStatus, Rs232ErrorText(com.ret));
        CopyText(com.szCause, SerialOpenCause(LastComOpenProblem()));
        if (linkReport.transportError) linkReport.transportError(false);
        return;
    }
    SetComTime(com.comport, kSerialIoTimeout);
    FlushInQ(com.comport);
    FlushOutQ(com.comport);
    SetCTSMode(com.comport, 0);
}

void InitTCP_IP() {
    if (com.tcpcon > 0) DisconnectFromTCPServer(com.g_hconversation);
    if (linkReport.waitCursor) linkReport.waitCursor(1);
    com.ret =
        static_cast<int16_t>(ConnectToTCPServer(&com.g_hconversation, static_cast<unsigned>(com.portNum),
                                                com.ipBuf, ClientTCPCB, nullptr, kConnectTimeoutMs));
    if (linkReport.waitCursor) linkReport.waitCursor(0);
    if (com.ret < 0) {
        CopyText(com.szStatus, TcpErrorText(com.ret));
        CopyText(com.szCause,
                 TcpConnectCause(LastTcpConnectProblem(), LinkPlace(), kConnectTimeoutMs / 1000.0));
        if (linkReport.transportError) linkReport.transportError(true);
        com.tcpcon = 0;
    } else {
        com.tcpcon = 1;
    }
}

int ClientTCPCB(unsigned handle, int event, int, void *) {
    if (event == TCP_DISCONNECT) {
        CopyText(com.szCause, ServerClosedCause(LinkPlace()));
        TraceOutcome(com.szCause);
        if (linkReport.serverClosed) linkReport.serverClosed();
        DisconnectFromTCPServer(handle); // frees the conversation; nothing more can come on it
        com.g_hconversation = 0;
        com.tcpcon = 0;
    } else if (event == TCP_DATAREADY) {
        if (com.bytesToRead >= 1) ReadAwaitedBytes(handle);
        // Whatever is left once no answer is awaited would only clog the connection,
        // unless frames stream in on their own: then it is the start of the next frame.
        if (com.bytesToRead < 1 && !com.streaming) DropPendingBytes(handle);
    }
    return 0;
}

void ReadQueuedAnswer() {
    if (!IsSerial() && com.g_hconversation != 0 && com.bytesToRead > 0) ReadAwaitedBytes(com.g_hconversation);
}

void DropReceivedBytes() {
    if (IsSerial())
        FlushInQ(com.comport);
    else if (com.g_hconversation != 0)
        DropPendingBytes(com.g_hconversation);
}

void SendTxBuf(int tcpTimeoutMs) {
    const int written = IsSerial() ? ComWrt(com.comport, com.szWriteBuf, kFrameBytes)
                                   : ClientTCPWrite(com.g_hconversation, com.szWriteBuf, kFrameBytes,
                                                    static_cast<unsigned>(tcpTimeoutMs));
    com.nBytesW = static_cast<int16_t>(written);
    TraceSent(com.szWriteBuf, kFrameBytes);
    if (written != kFrameBytes) CopyText(com.szCause, UnwrittenCause(LinkPlace(), written));
}

void ExpectAnswer() {
    if (IsSerial()) return;
    com.bytesToRead = kFrameBytes;
    com.dataSize = kFrameBytes;
}

void WaitForAnswer(double timeout) {
    lastWaitTimeout = timeout;
    if (IsSerial())
        WaitOnSerialQueue(timeout);
    else
        WaitOnTcpCallback(timeout);
    if (LinkTraceOn()) {
        const int count = IsSerial() ? com.dataSize : com.dataSize - com.bytesToRead;
        if (count > 0) TraceReceived(com.szReadBuf, std::min(count, kLinkBufSize));
    }
}

bool ExchangeFrame(double timeout) {
    if (IsSerial()) {
        FlushInQ(com.comport);
        FlushOutQ(com.comport);
    } else {
        ExpectAnswer();
    }
    SendTxBuf();
    WaitForAnswer(timeout);
    return NoteOutcome(0);
}

void CheckEcho(int len) {
    ExpectAnswer(); // the caller has written the frame; its answer is handled only inside the wait
    WaitForAnswer(linkProgram.echoTimeout);
    if (com.bytesToRead == 0) com.comecho = EchoMatches(len) ? 1 : 0;
    NoteOutcome(len);
    if (com.bytesToRead != 0 || com.comecho == 0) SetPopupTimeout();
}

bool CheckComLine() {
    if (linkProgram.stopAutoSend) linkProgram.stopAutoSend();
    PauseWithEvents(kVersionPause);
    com.order = 7;
    FillTxBuf(com.order, 0, 0, 0);
    if (IsSerial()) {
        FlushInQ(com.comport);
        FlushOutQ(com.comport);
        com.dataSize = 0;
        SendTxBuf();
        WaitForAnswer(kVersionTimeoutRs232);
    } else {
        ExpectAnswer();
        SendTxBuf(kVersionWriteTimeoutMs);
        WaitForAnswer(kVersionTimeoutTcp);
    }
    if (!NoteOutcome(0)) {
        SetPopupTimeout();
        return false;
    }
    CopyVersionText();
    if (linkReport.versionAnswered) linkReport.versionAnswered();
    const bool passed = linkProgram.afterVersion ? linkProgram.afterVersion() : true;
    if (passed && linkReport.testPassed) linkReport.testPassed();
    return true;
}

void SetPopupTimeout() {
    if (linkProgram.poll) *linkProgram.poll = 0;
    com.comecho = 0;
    TraceOutcome(std::string("TIMEOUT: ") + com.szCause);
    com.statusStale = true;
    if (linkReport.timeout) linkReport.timeout();
}
