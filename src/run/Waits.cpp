#include "run/Waits.h"

#include "engine/text/Clock.h"
#include "engine/text/Errors.h"
#include "common/EventWait.h"
#include "engine/text/NumText.h"
#include "link/CommandLink.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <cmath>

void WaitForTrigger(Link& link, float timeout, const int16_t& StopRequest) {
    SendGetResp(link, QStringLiteral("TESR?"), timeout, 80);  // clears the status; not used
    SendToDSO(link, QStringLiteral("WSGL"));
    int silent = 0;
    for (;;) {
        if (StopRequest) return;
        qm::YieldEvents();
        const QString reply = SendGetResp(link, QStringLiteral("TESR?"), timeout, 80);
        if (reply == kTimeoutReply) {
            if (++silent >= kSilentPolls)
                throw LinkError(QStringLiteral("装置から応答がありません (TESR? に %1 回続けて応答なし)").arg(kSilentPolls));
        } else {
            silent = 0;
        }
        const double v = qm::RoundHalfEven(qm::LeadingNumber(reply));
        if (std::isfinite(v) && std::fmod(std::fabs(v), 2.0) == 1.0) return;
        // A short pause in the event loop; a stop press ends it at once.
        qm::WaitUntil([&] { return StopRequest != 0; }, QDeadlineTimer(kTriggerPollPauseMs));
    }
}

void WaitInterval(const float& seconds, const int16_t& StopRequest) {
    if (!(seconds > 0)) return;
    const float start = qm::Timer();
    for (;;) {
        float now = qm::Timer();
        if (now < start) now += 86400.0f;  // midnight passed during the wait
        const float end = start + seconds;
        if (end < now) return;
        if (StopRequest) return;
        const double leftMs = (static_cast<double>(end) - now) * 1000.0;
        qm::SleepEvents(static_cast<int>(std::clamp(std::ceil(leftMs), 1.0, double(qm::WaitSliceMs))));
    }
}
