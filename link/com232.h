// The program's link under the names the programs use: opening the serial port
// or the server, and the exchange steps every transfer is built from (send,
// answer wait, echo check, version query), each run on the program's sensor.
// Each step waits for its operation while user-interface events go on, as the
// programs' callbacks expect; the sensor itself never waits.
#pragma once

#include "sensor/sensor.h"

#include <functional>

namespace programlink {

constexpr double kAnswerTimeout = sensor::kAnswerTimeout;

// (Re)opens the serial port at 19200 8N1; result in com.ret, errors shown.
void InitRS232();
// (Re)connects to ipBuf:portNum, taking no user input meanwhile; result in
// com.ret, state in com.tcpcon, errors shown.
void InitTCP_IP();
// What remains of the TCP client callback: the server closed the connection
// (or the serial device went away). Shown once; the next operation opens the
// link again by itself.
void ClientTCPCB();

// Opens a link that was lost (server closed, device gone) once more, as every
// operation does before it starts; true when the link is open.
bool ReopenLostLink();
// Runs one operation of the program's sensor to its end while events run; its
// outcome. Opens a link that was lost once before it starts.
bool RunLinkOperation(const std::function<void(sensor::Sensor::Done)> &start);

// Builds a command frame in the sensor's frame image (szWriteBuf) with the
// program's frame source; 0, or -1 (nothing written) when a, b or n reach outside.
int FillTxBuf(uint16_t order, uint16_t a, uint16_t b, uint16_t n);
// Writes the 36 bytes of the frame image; the count written (nBytesW).
int SendTxBuf();
// Waits for the answer to a request; complete exactly when bytesToRead is 0 afterwards.
void WaitForAnswer(double timeout);
// One request with an answer: on RS-232 empty both queues, send the frame,
// wait for the answer. True when the whole answer came.
bool ExchangeFrame(double timeout = kAnswerTimeout);
// Waits for the answer to the frame just sent and checks it as an echo of its
// first len words; result in the echo flag, SetPopupTimeout on any failure.
void CheckEcho(int len);
// The version query that starts every connection, then the program's hand-over.
// True when the sensor answered it.
bool CheckComLine();
// The end of every failed exchange: echo flag 0, the program's poll flag
// cleared, "TIMEOUT" shown until a good exchange follows.
void SetPopupTimeout();

} // namespace programlink
