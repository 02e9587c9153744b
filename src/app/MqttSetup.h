#pragma once
// The MQTT output of a start: what --mqtt and its options, or the [Mqtt]
// group of Quillmeter.ini, ask for (MakeMqttSink builds with QM_MQTT only),
// and the bench's station name.
#include "app/AppOptions.h"

#include <QString>
#include <memory>

namespace qm {

class MqttSink;

// The sink the options (or Quillmeter.ini) ask for, not started yet; nullptr
// when none is asked, or when it cannot be made (then *error says why, with
// nothing of a password in it).
std::unique_ptr<MqttSink> MakeMqttSink(const AppOptions& options, const QString& dataFolder, QString* error);

// The bench's name: --station, else [Mqtt] Station of Quillmeter.ini, else
// the host name and the file-name header this start begins with. (Also the
// station label of the web view's metrics, with or without MQTT.)
QString StationName(const AppOptions& options, const QString& dataFolder);

}  // namespace qm
