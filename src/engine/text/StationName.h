#pragma once
// The name of the bench in the MQTT topics and the web view's metrics.
#include <QString>

namespace qm {

// A topic level made of `name`: '+', '#', '/' and control characters (NUL
// among them) become '_', at most 64 characters; "quillmeter" when nothing
// is left.
QString StationTopicName(const QString& name);
// The default station: this PC's host name and the file-name header
// ("labpc12-Sample"), as a topic level.
QString DefaultStationName(const QString& header);

}  // namespace qm
