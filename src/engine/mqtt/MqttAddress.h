#pragma once
// Where the bench's values go: the broker's address as given with --mqtt
// (mqtt://HOST[:PORT]/PREFIX, mqtts:// for TLS) and the station name that
// names the bench in the topics PREFIX/STATION/cycle, .../state, .../stats
// and .../event.
#include <QString>
#include <optional>

namespace qm {

struct MqttAddress {
    bool tls = false;
    QString host;         // a name, an IPv4 address or an IPv6 address (without brackets)
    quint16 port = 1883;  // 1883, or 8883 for mqtts, when none is given
    QString prefix;       // the topic levels before the station ("lab", "site/lab2")

    // "host:port" as shown in messages ("[::1]:1883" for IPv6).
    QString hostPort() const;
};

// Parses "mqtt://HOST[:PORT]/PREFIX" or "mqtts://..." (not on Windows: its
// build has libmosquitto without TLS). On a fault returns
// nullopt and *why says what is wrong (without repeating the text: it may
// hold a password someone put there).
std::optional<MqttAddress> ParseMqttAddress(const QString& text, QString* why);


}  // namespace qm
