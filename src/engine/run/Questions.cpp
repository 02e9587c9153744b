#include "engine/run/Questions.h"

#include <cstdio>

namespace qm {

bool AutoQuestions::askRetryConnect(const QString& text, const qm::StopToken&) {
    notify(text);
    return false;
}

void AutoQuestions::notify(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

}  // namespace qm
