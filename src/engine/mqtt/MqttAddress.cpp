#include "engine/mqtt/MqttAddress.h"

#include <QHostAddress>

namespace qm {

QString MqttAddress::hostPort() const {
    const QString h = host.contains(u':') ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(h).arg(port);
}

std::optional<MqttAddress> ParseMqttAddress(const QString& text, QString* why) {
    const auto fail = [&](const QString& reason) -> std::optional<MqttAddress> {
        if (why) *why = reason;
        return std::nullopt;
    };
    MqttAddress a;
    QString rest;
    if (text.startsWith(QLatin1String("mqtt://"), Qt::CaseInsensitive)) {
        rest = text.mid(7);
    } else if (text.startsWith(QLatin1String("mqtts://"), Qt::CaseInsensitive)) {
#ifdef _WIN32
        return fail(QStringLiteral("mqtts:// (TLS) is not in the Windows build; use mqtt://"));
#endif
        a.tls = true;
        a.port = 8883;
        rest = text.mid(8);
    } else {
        return fail(QStringLiteral("not mqtt://HOST[:PORT]/PREFIX or mqtts://HOST[:PORT]/PREFIX"));
    }
    const qsizetype slash = rest.indexOf(u'/');
    const QString authority = slash < 0 ? rest : rest.left(slash);
    const QString path = slash < 0 ? QString() : rest.mid(slash + 1);
    if (authority.contains(u'@'))
        return fail(QStringLiteral("a user or password in the address is not taken (use --mqtt-user, and "
                                   "QUILLMETER_MQTT_PASSWORD or --mqtt-password-file)"));
    QString host = authority;
    QString port;
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 0) return fail(QStringLiteral("no ']' after the IPv6 address"));
        host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(u':')) return fail(QStringLiteral("text after the IPv6 address"));
            port = after.mid(1);
        }
        QHostAddress ip;
        if (!ip.setAddress(host) || ip.protocol() != QAbstractSocket::IPv6Protocol)
            return fail(QStringLiteral("no IPv6 address between '[' and ']'"));
    } else {
        const qsizetype colon = authority.indexOf(u':');
        if (colon >= 0) {
            host = authority.left(colon);
            port = authority.mid(colon + 1);
        }
        if (host.isEmpty()) return fail(QStringLiteral("no host"));
        for (const QChar c : host) {
            const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                            c == u'.' || c == u'-' || c == u'_';
            if (!ok) return fail(QStringLiteral("the host is not a host name or an address"));
        }
        if (host.size() > 253) return fail(QStringLiteral("the host name is longer than 253 characters"));
    }
    if (authority.startsWith(u'[') || authority.contains(u':')) {
        bool ok = false;
        const uint n = port.toUInt(&ok);
        if (!ok || n < 1 || n > 65535 || port.startsWith(u'+')) return fail(QStringLiteral("the port is not a number from 1 to 65535"));
        a.port = quint16(n);
    }
    a.host = host;
    QString prefix = path;
    if (prefix.endsWith(u'/')) prefix.chop(1);
    if (prefix.isEmpty()) return fail(QStringLiteral("no topic prefix (mqtt://HOST[:PORT]/PREFIX)"));
    if (prefix.size() > 200) return fail(QStringLiteral("the topic prefix is longer than 200 characters"));
    for (const QChar c : prefix) {
        if (c == u'+' || c == u'#') return fail(QStringLiteral("the topic prefix holds '+' or '#'"));
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return fail(QStringLiteral("the topic prefix holds a control character"));
        if (c == u'?') return fail(QStringLiteral("the topic prefix holds '?'"));
    }
    if (prefix.startsWith(u'$')) return fail(QStringLiteral("the topic prefix starts with '$' (the broker's own topics)"));
    if (prefix.startsWith(u'/') || prefix.contains(QLatin1String("//")))
        return fail(QStringLiteral("the topic prefix has an empty level"));
    a.prefix = prefix;
    return a;
}

}  // namespace qm
