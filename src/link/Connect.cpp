#include "link/Connect.h"

#include "engine/text/NumText.h"
#include "common/Prompt.h"
#include "link/CommandLink.h"
#include "link/SockControl.h"
#include "link/TcpTransport.h"

namespace {
const QString kNotConnected = QStringLiteral("装置が正しく接続されていません！");
}

int16_t ConnectDSO(int16_t& ift, CommPort& MSComm1, SockControl& dso, const ConnectSettings& s, Prompter& ask) {
    int16_t result = -1;
    if (ift != 0) {
        const QString address = s.ipAddress;
        if (!ask.AskOkCancel(QStringLiteral("インタフェースはTCP：") + address + QStringLiteral("です｡接続OK?"), kConfirmTitle))
            return result;
        const int16_t state = LinkToSLA(dso, address, s.tcpPort);
        if (state == SockControl::sckError) {
            ask.ShowFailure(kNotConnected, kConfirmTitle);
            return result;
        }
        result = 0;
    } else {
        const QString com = s.comText;
        if (!ask.AskOkCancel(QStringLiteral("インタフェースはUSB(") + com + QStringLiteral(")です｡接続OK?"), kConfirmTitle))
            return result;
        int16_t port = 0;
        try {
            port = qm::ToInt16(qm::LeadingNumber(com.mid(3, 10)));
        } catch (const qm::NumberOverflow&) {
            port = 0;
        }
        if (InitCommPort(MSComm1, port, QStringLiteral("38400,n,8,1")) < 0) {
            ask.ShowFailure(kNotConnected, kConfirmTitle);
            return result;
        }
        result = 0;
    }
    return result;
}
