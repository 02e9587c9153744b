#pragma once
// The TCP transport of the command link: connect, send a command, send a
// query and read its answer line, on the socket control dso.
#include <QString>
#include <cstdint>

class SockControl;

// Bounds of the TCP waits.
inline constexpr int kConnectTimeoutMs = 10000;
inline constexpr int kSendTimeoutMs = 10000;

// Closes a socket that is not closed, connects to address:port and waits
// (bounded) while it resolves and connects. Returns the socket's state:
// normally 7 (connected) or 9 (error).
int16_t LinkToSLA(SockControl& wins, const QString& address, const QString& port);
// Sends command + LF and waits (bounded) until it has been handed to the
// network. Raises LinkError when the connection is lost or the send stalls.
void SendToSLA(SockControl& wins, const QString& command);
// Sends command + LF and reads until a LF has arrived, maxbytes characters
// were read, or `timeout` seconds passed ("Timeout"); returns the first line.
// Raises LinkError when the connection is lost.
QString GetRespSLA(SockControl& wins, const QString& command, int32_t maxbytes, float timeout);
