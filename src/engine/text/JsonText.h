#pragma once
// Compact JSON written straight into text, for what is made once per cycle
// (the web view's events, the MQTT records): QJsonDocument took about ten
// times as long.
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace qm {

// `text` as a JSON string in UTF-8: quote, backslash and control characters
// escaped.
void AppendJsonString(std::string& out, const QString& text);
// The shortest text that reads back the same; null for none, NaN or infinity.
void AppendJsonNumber(std::string& out, std::optional<double> v);
void AppendJsonInt(std::string& out, int64_t v);

}  // namespace qm
