// The sensor link's transports (serial port or TCP client) and the exchange
// steps every transfer is built from: send, answer wait, echo check, version query.
#pragma once

constexpr double kAnswerTimeout = 3.0;   // reads and VexaV32's echoes
constexpr int kTcpWriteTimeoutMs = 2000; // every TCP write but the version query's

// (Re)opens the serial port comport at 19200 8N1; result in com.ret, errors shown.
void InitRS232();
// (Re)connects to ipBuf:portNum; result in com.ret, state in com.tcpcon, errors shown.
void InitTCP_IP();
// The TCP client callback: server close and arriving answer bytes.
int ClientTCPCB(unsigned handle, int event, int error, void *callbackData);

// Writes the 36 bytes of szWriteBuf on the transport in use; result in com.nBytesW.
void SendTxBuf(int tcpTimeoutMs = kTcpWriteTimeoutMs);
// On TCP, announces that a 36-byte answer is awaited (bytesToRead = dataSize = 36).
// Call it before the frame is written.
void ExpectAnswer();
// On TCP, takes into the awaited answer the bytes that have already arrived
// (kept while com.streaming), without waiting for more.
void ReadQueuedAnswer();
// Drops every received byte not taken yet, on either transport.
void DropReceivedBytes();
// Waits up to timeout seconds for the 36-byte answer while user-interface events
// run. Complete exactly when com.bytesToRead is 0 afterwards.
void WaitForAnswer(double timeout);
// One request with an answer: on RS-232 empty both queues, send the frame in
// szWriteBuf, wait for the answer. True when the whole answer came.
bool ExchangeFrame(double timeout = kAnswerTimeout);

// Waits for the answer to the frame just sent and checks it as an echo of its
// first len words; result in com.comecho, SetPopupTimeout on any failure.
void CheckEcho(int len);
// The version query that starts every connection, then the program's hand-over.
// True when the sensor answered it (com.version holds the text).
bool CheckComLine();
// The end of every failed exchange: comecho = 0, the program's poll flag cleared,
// "TIMEOUT" shown (linkReport) until a good exchange follows.
void SetPopupTimeout();
