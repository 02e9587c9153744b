#include "engine/text/StationName.h"

#include <QSysInfo>

namespace qm {

QString StationTopicName(const QString& name) {
    QString out;
    for (const QChar c : name) {
        if (out.size() >= 64) break;
        const bool bad = c == u'+' || c == u'#' || c == u'/' || c.unicode() < 0x20 || c.unicode() == 0x7F ||
                         c.isSurrogate();
        out += bad ? QChar(u'_') : c;
    }
    if (out.startsWith(u'$')) out[0] = u'_';
    return out.trimmed().isEmpty() ? QStringLiteral("quillmeter") : out;
}

QString DefaultStationName(const QString& header) {
    QString host = QSysInfo::machineHostName();
    const qsizetype dot = host.indexOf(u'.');
    if (dot > 0) host.truncate(dot);
    if (host.isEmpty()) host = QStringLiteral("quillmeter");
    return StationTopicName(header.isEmpty() ? host : host + u'-' + header);
}

}  // namespace qm
