#pragma once
// quillmeter-sim as a child process of a benchmark, on a free loopback port.
#include <QProcess>
#include <QStringList>

struct SimProcess {
    QProcess p;
    quint16 port = 0;
    explicit SimProcess(const QStringList& args = {}) {
        p.start(QStringLiteral(QM_SIM_PATH), QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")} + args);
        p.waitForStarted();
        while (port == 0 && p.waitForReadyRead(5000)) {
            const QString line = QString::fromLatin1(p.readLine()).trimmed();
            if (line.startsWith(QLatin1String("TCP "))) port = quint16(line.section(QLatin1Char(':'), -1).toUInt());
        }
    }
    ~SimProcess() {
        p.kill();
        p.waitForFinished();
    }
};
