#include "engine/text/JsonText.h"

#include <charconv>
#include <cmath>

namespace qm {

void AppendJsonString(std::string& out, const QString& text) {
    const QByteArray u = text.toUtf8();
    out += '"';
    for (const char ch : u) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
}

void AppendJsonNumber(std::string& out, std::optional<double> v) {
    if (!v || !std::isfinite(*v)) {
        out += "null";
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, *v);
    out.append(buf, r.ptr);
}

void AppendJsonInt(std::string& out, int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

}  // namespace qm
