// TCP client services on QTcpSocket. The client callback runs only on the
// user-interface thread, while it processes events (ProcessSystemEvents or the
// event loop), never inside another TCP call.
#pragma once

#include <string>

enum TcpEvent : int { TCP_CONNECT = 1, TCP_DISCONNECT = 2, TCP_DATAREADY = 3 };

using tcpFuncPtr = int (*)(unsigned handle, int event, int error, void *callbackData);

// Error codes of the TCP services.
enum TcpError : int {
    kTCP_UnableToRegisterService = -1,
    kTCP_UnableToEstablishConnection = -2,
    kTCP_ExistingServer = -3,
    kTCP_FailedToConnect = -4,
    kTCP_ServerNotRegistered = -5,
    kTCP_TooManyConversations = -6,
    kTCP_ReadFailed = -7,
    kTCP_WriteFailed = -8,
    kTCP_InvalidParameter = -9,
    kTCP_OutOfMemory = -10,
    kTCP_TimeOutErr = -11,
    kTCP_NoConnectionEstablished = -12,
    kTCP_GeneralIOErr = -13,
    kTCP_ConnectionClosed = -14,
};

// Why the last failed ConnectToTCPServer failed, beyond its code.
enum class TcpConnectFailure { None, Refused, HostNotFound, TimedOut, Other };
struct TcpConnectProblem {
    TcpConnectFailure failure = TcpConnectFailure::None;
    std::string systemText; // the system's own words
};
TcpConnectProblem LastTcpConnectProblem();

// Connects, blocking up to timeoutMs without processing events. Nagle's algorithm
// is off. Result 0 (handle in *conversationHandle), or a TcpError.
int ConnectToTCPServer(unsigned *conversationHandle, unsigned portNumber, const std::string &serverHostName,
                       tcpFuncPtr callback, void *callbackData, unsigned timeoutMs);
int DisconnectFromTCPServer(unsigned conversationHandle);
// Result: bytes written, or a TcpError.
int ClientTCPWrite(unsigned conversationHandle, const void *data, unsigned dataSize, unsigned timeoutMs);
// Returns what is available, up to dataSize bytes, waiting up to timeoutMs when
// nothing is. Result: bytes read (> 0), or a TcpError.
int ClientTCPRead(unsigned conversationHandle, void *buffer, unsigned dataSize, unsigned timeoutMs);
