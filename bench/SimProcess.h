#pragma once
// quillmeter-sim as a child process of a benchmark, on a free loopback port,
// or on a pseudo-terminal when the arguments hold "--pty".
#include <QProcess>
#include <QStringList>

struct SimProcess {
    QProcess p;
    quint16 port = 0;
    QString pty;  // with --pty: the device to open as the serial port
    explicit SimProcess(const QStringList& args = {}) {
        const bool serial = args.contains(QStringLiteral("--pty"));
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);  // its warnings show
        p.start(QStringLiteral(QM_SIM_PATH),
                (serial ? QStringList{} : QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")}) + args);
        p.waitForStarted();
        while (port == 0 && pty.isEmpty() && (p.canReadLine() || p.waitForReadyRead(5000))) {
            const QString line = QString::fromLatin1(p.readLine()).trimmed();
            if (line.startsWith(QLatin1String("TCP "))) port = quint16(line.section(QLatin1Char(':'), -1).toUInt());
            if (line.startsWith(QLatin1String("PTY "))) pty = line.mid(4);
        }
    }
    ~SimProcess() {
        p.kill();
        p.waitForFinished();
    }
};
