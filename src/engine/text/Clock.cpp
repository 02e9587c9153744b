#include "engine/text/Clock.h"

#include <QTime>

namespace qm {
namespace {
std::function<double()>& Source() {
    static std::function<double()> s;
    return s;
}
}  // namespace

float Timer() {
    if (Source()) return static_cast<float>(Source()());
    return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay() / 1000.0);
}

void SetTimerSource(std::function<double()> source) { Source() = std::move(source); }
}  // namespace qm
