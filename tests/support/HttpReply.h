#pragma once
// An HTTP answer as a raw test client reads it: the status, the head and the
// body (not decoded).
#include <QByteArray>
#include <QList>

#include <string>

struct HttpReply {
    int status = 0;
    QByteArray head, body;
};

inline HttpReply ParseHttpReply(const std::string& raw) {
    HttpReply r;
    const auto split = raw.find("\r\n\r\n");
    r.head = QByteArray::fromStdString(raw.substr(0, split));
    if (split != std::string::npos) r.body = QByteArray::fromStdString(raw.substr(split + 4));
    const QList<QByteArray> first = r.head.left(r.head.indexOf('\r')).split(' ');
    if (first.size() >= 2) r.status = first[1].toInt();
    return r;
}
