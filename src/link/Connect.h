#pragma once
// Connection set-up: confirm the interface with the user and open it.
#include <QString>
#include <cstdint>

class CommPort;
class SockControl;
class Prompter;

struct ConnectSettings {
    QString ipAddress;      // IPAdressText
    QString comText;        // ComList text, "COM2"
    QString tcpPort = QStringLiteral("5198");
};

// 0 when the link is open, -1 when not (declined, or opening failed; the
// failure message has then been shown).
int16_t ConnectDSO(int16_t& ift, CommPort& MSComm1, SockControl& dso, const ConnectSettings& s, Prompter& ask);
