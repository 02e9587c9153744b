#include "link/CommandLink.h"

#include "engine/text/Clock.h"
#include "engine/text/Errors.h"
#include "common/EventWait.h"
#include "link/CommPort.h"
#include "link/SockControl.h"
#include "link/TcpTransport.h"

#include <algorithm>
#include <cmath>

void SendToDSO(int16_t& ift, CommPort& MSComm1, SockControl& dso, const QString& command) {
    if (ift != 0) SendToSLA(dso, command);
    else WriteToComm(MSComm1, command);
}

QString SendGetResp(int16_t& ift, CommPort& MSComm1, SockControl& dso, const QString& command, float timeout,
                    int32_t maxdl) {
    if (ift != 0) return GetRespSLA(dso, command, maxdl, timeout);
    return GetQResp(MSComm1, command, timeout);
}

bool LinkLost(Link& l) {
    if (l.CommMode != 0) return l.dso.Lost() || l.dso.State() != SockControl::sckConnected;
    return l.MSComm1.DeviceFailed();
}

void WriteToComm(CommPort& MSComm1, const QString& buf) {
    if (!MSComm1.PortOpen()) MSComm1.SetPortOpen(true);
    MSComm1.Output(buf.toLatin1() + '\n');
}

QString ReadFromComm(CommPort& MSComm1, int16_t bl, float timeout) {
    if (!MSComm1.PortOpen()) MSComm1.SetPortOpen(true);
    QString acc;
    int32_t count = 0;
    MSComm1.SetInputLen(0);
    MSComm1.SetInputMode(CommPort::comInputModeText);
    for (;;) {
        const float t0 = qm::Timer();
        // The silence clock restarts whenever bytes arrive.
        while (MSComm1.InBufferCount() == 0) {
            float t = qm::Timer();
            if (t < t0) t += 86400.0f;  // one crossing of midnight
            const float limit = t0 + timeout;
            if (limit < t) return kTimeoutReply;
            const double leftMs = (static_cast<double>(limit) - t) * 1000.0;
            qm::SleepEvents(static_cast<int>(std::clamp(std::ceil(leftMs), 1.0, double(qm::WaitSliceMs))));
        }
        count += MSComm1.InBufferCount();
        acc += MSComm1.InputText();
        qm::YieldEvents();
        if (acc.endsWith(QLatin1Char('\n')) || count >= bl) break;
    }
    return GPTrim(acc);
}

QString GetQResp(CommPort& MSComm1, const QString& command, float timeout) {
    WriteToComm(MSComm1, command);
    return GPTrim(ReadFromComm(MSComm1, 1000, timeout));
}

int16_t InitCommPort(CommPort& MSComm1, int16_t rsport, const QString& rscond) {
    try {
        if (MSComm1.PortOpen()) MSComm1.SetPortOpen(false);
        if (!MSComm1.PortOpen()) {
            MSComm1.SetCommPort(rsport);
            MSComm1.SetSettings(rscond);
            MSComm1.SetHandshaking(0);
            MSComm1.SetPortOpen(true);
        }
        return 0;
    } catch (const LinkError&) {
        return -1;
    }
}

QString GPTrim(const QString& rbuf) {
    QString out;
    out.reserve(rbuf.size());
    for (QChar c : rbuf) {
        const ushort u = c.unicode();
        if (u == 13 || u == 10) break;
        if (u != 0) out.append(c);
    }
    return out;
}

int16_t Get_Items(const QString& strL, std::span<QString> item) {
    const auto overflow = [&]() -> int16_t {
        if (item.size() > 0) item[0].clear();
        if (item.size() > 1) item[1].clear();
        return 2;
    };
    if (strL.size() > 32767) return overflow();
    QString line = strL;
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    const qsizetype n = line.count(QLatin1Char(',')) + 1;
    if (n > static_cast<qsizetype>(item.size())) return overflow();
    qsizetype k = 0, start = 0;
    for (;;) {
        const qsizetype comma = line.indexOf(QLatin1Char(','), start);
        if (comma < 0) {
            item[k] = line.mid(start);
            break;
        }
        item[k++] = line.mid(start, comma - start);
        start = comma + 1;
    }
    return static_cast<int16_t>(n);
}
