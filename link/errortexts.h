// The fixed texts that the link shows for the transports' negative error codes.
#pragma once

// Text for a result of OpenComConfig; codes outside the table get "RS-232 error!".
const char *Rs232ErrorText(int code);
// Text for a result of ConnectToTCPServer; codes outside the table get
// "Connection to server failed".
const char *TcpErrorText(int code);
