#include "support/SimLink.h"

#include "link/TcpTransport.h"

#include <QHostAddress>

bool SimTcpLink::start() {
    if (!server.listen(QHostAddress::LocalHost, 0)) return false;
    return LinkToSLA(sock, QStringLiteral("127.0.0.1"), portText()) == SockControl::sckConnected;
}

bool SimPtyLink::start(int comNumber) {
    if (!pty.open()) return false;
    qputenv(QStringLiteral("QUILLMETER_COM%1").arg(comNumber).toLatin1().constData(), pty.slavePath().toLocal8Bit());
    return InitCommPort(port, static_cast<int16_t>(comNumber), QStringLiteral("38400,n,8,1")) == 0;
}

bool ScriptedPrompter::AskOkCancel(const QString& text, const QString& title) {
    questions << title + QLatin1Char('|') + text;
    if (answers.empty()) return true;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

void ScriptedPrompter::ShowFailure(const QString& text, const QString& title) { failures << title + QLatin1Char('|') + text; }

QStringList From(const QStringList& all, const QString& from) {
    const qsizetype i = all.indexOf(from);
    return i < 0 ? QStringList() : all.mid(i);
}
