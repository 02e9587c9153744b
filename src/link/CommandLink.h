#pragma once
// The command link: text commands and one-line answers to the instrument,
// over the serial port (MSComm1) or TCP (dso), chosen by the link selector.
#include <QString>
#include <cstdint>
#include <span>

class CommPort;
class SockControl;

// The link selector and the two transports, handed together to every
// instrument operation. CommMode: 0 = serial, nonzero = TCP.
struct Link {
    int16_t& CommMode;
    CommPort& MSComm1;
    SockControl& dso;
};

// The answer text that a query gets when the instrument stays silent.
inline const QString kTimeoutReply = QStringLiteral("Timeout");

// Sends a command (the link appends LF).
void SendToDSO(int16_t& ift, CommPort& MSComm1, SockControl& dso, const QString& command);
// Sends a query and returns its answer line (trimmed at the first CR/LF,
// NULs dropped), or "Timeout" after `timeout` seconds of silence.
// maxdl: the most characters the TCP transport reads as one answer.
QString SendGetResp(int16_t& ift, CommPort& MSComm1, SockControl& dso, const QString& command, float timeout,
                    int32_t maxdl);

inline void SendToDSO(Link& l, const QString& command) { SendToDSO(l.CommMode, l.MSComm1, l.dso, command); }
inline QString SendGetResp(Link& l, const QString& command, float timeout, int32_t maxdl) {
    return SendGetResp(l.CommMode, l.MSComm1, l.dso, command, timeout, maxdl);
}

// True when the transport that CommMode selects is gone: the socket lost or
// not connected, or the serial port closed or failed.
bool LinkLost(Link& l);

// Serial transport.
void WriteToComm(CommPort& MSComm1, const QString& buf);
QString ReadFromComm(CommPort& MSComm1, int16_t bl, float timeout);
QString GetQResp(CommPort& MSComm1, const QString& command, float timeout);
// 0 = port configured and open, -1 = failure.
int16_t InitCommPort(CommPort& MSComm1, int16_t rsport, const QString& rscond);

// The answer cut at its first CR or LF, without NUL characters.
QString GPTrim(const QString& rbuf);

// Splits a line at commas into item[0..]; CR and LF are dropped, everything
// else kept. Returns the number of items (commas + 1). Slots beyond the last
// one stored keep what they held. More items than slots (or a line longer
// than 32767 characters): item[0] and item[1] become empty and the result is 2.
int16_t Get_Items(const QString& strL, std::span<QString> item);
