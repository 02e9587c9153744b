// quillmeter-sim: a simulated oscilloscope on a TCP port and/or a
// pseudo-terminal, for trying the logger without an instrument.
#include "sim/SimInstrument.h"
#include "sim/SimPty.h"
#include "sim/SimTcpServer.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <cstdio>
#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace qmsim;

namespace {

const char Usage[] =
    "Usage: quillmeter-sim [options]\n"
    "A simulated oscilloscope that answers the logger's remote commands.\n"
    "\n"
    "Links (without either: --listen 127.0.0.1:0):\n"
    "  --listen ADDR:PORT   serve TCP; port 0 picks a free port; prints \"TCP ADDR:PORT\"\n"
    "  --pty                serve a pseudo-terminal; prints \"PTY /dev/pts/N\" (again\n"
    "                       for each new device after an outage)\n"
    "  --pty-link PATH      keep a symbolic link at PATH to the current pty device,\n"
    "                       gone while the device is (implies --pty)\n"
    "  --baud N             answers cross a line of N baud (N / 10 bytes a second, in\n"
    "                       chunks of about 10 ms), as over a real serial link; TCP and\n"
    "                       pty alike (default: as fast as the link takes them)\n"
    "Instrument:\n"
    "  --model NAME         model name (DS-5554; 7th character 4 = four channels)\n"
    "  --maker TEXT         text before the model name in DTINF?\n"
    "  --record-length N    record length (10000)\n"
    "  --acq MODE           acquisition mode: SAMPLE, AVERAGE, HIGH_RES\n"
    "  --math ON|OFF        math trace display\n"
    "  --math-type T        math operation: ADD, SUB, MULT, FFT\n"
    "  --trigger-polls N    TESR? polls after WSGL before the trigger (2; -1 never)\n"
    "  --trigger-delay-ms N least time from WSGL to the trigger (0)\n"
    "  --date TEXT          fixed DATE? answer (default: the current time)\n"
    "  --reply CMD=TEXT     answer TEXT to CMD (repeatable); \\n, \\r and \\\\ in TEXT are LF,\n"
    "                       CR and \\; a TEXT that holds a LF is sent as it is, with\n"
    "                       no LF added ('MSRA?=1.25\\nX': a byte after the LF)\n"
    "Faults:\n"
    "  --delay-ms N         answer N ms late\n"
    "  --silent CMD         no answer to CMD (repeatable; * = all)\n"
    "  --garbage CMD        random bytes instead of the answer to CMD (repeatable)\n"
    "  --split              each text answer in two pieces, 30 ms apart\n"
    "  --drop-after N       close the link after N commands (once)\n"
    "  --drop-on CMD        close the link when CMD arrives (once)\n"
    "  --block-fault F      bad-length, truncated, chunked or trickle binary blocks\n"
    "  --trickle-ms N       trickle: one byte of the block every N ms (1000)\n"
    "  --overlong CMD=N     pad the text answer to CMD with \",X,X...\" to N characters\n"
    "                       before its LF (repeatable; * = all)\n"
    "  --endless CMD        answer CMD with 'A' bytes and no LF until the next command\n"
    "                       or the link's end (repeatable)\n"
    "  --endless-rate N     bytes per second of an endless answer (1000000)\n"
    "  --outage-after N     after N commands drop the link and, for --outage-ms, refuse\n"
    "                       TCP connections / remove the pty device; then serve\n"
    "                       again on the same port / a new pty (once)\n"
    "  --outage-ms N        length of the outage (1000)\n"
    "Other:\n"
    "  --log                print every received command as \"< CMD\"\n"
    "  --help               this text\n";

#ifdef Q_OS_UNIX
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}
#endif

[[noreturn]] void usageError(const QString& message)
{
    QTextStream(stderr) << "quillmeter-sim: " << message << "\nTry --help.\n";
    std::exit(2);
}

int toInt(const QString& option, const QString& value, int min)
{
    bool ok = false;
    const int v = value.toInt(&ok);
    if (!ok || v < min)
        usageError(QStringLiteral("bad value for %1: %2").arg(option, value));
    return v;
}

// "\n", "\r" and "\\" as LF, CR and a backslash; any other backslash stays.
QString unescaped(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (c == QLatin1Char('\\') && (next == QLatin1Char('n') || next == QLatin1Char('r') || next == QLatin1Char('\\'))) {
            out += next == QLatin1Char('n') ? QLatin1Char('\n') : next == QLatin1Char('r') ? QLatin1Char('\r') : next;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SimConfig cfg;
    QString listenAt;
    bool pty = false;
    QString ptyLink;
    bool log = false;

    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString opt = args.at(i);
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                usageError(QStringLiteral("%1 needs a value").arg(opt));
            return args.at(++i);
        };
        if (opt == QLatin1String("--help") || opt == QLatin1String("-h")) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (opt == QLatin1String("--listen")) {
            listenAt = value();
        } else if (opt == QLatin1String("--pty")) {
            pty = true;
        } else if (opt == QLatin1String("--pty-link")) {
            ptyLink = value();
            if (ptyLink.isEmpty())
                usageError(QStringLiteral("--pty-link needs a path"));
            pty = true;
        } else if (opt == QLatin1String("--baud")) {
            cfg.baud = toInt(opt, value(), 1);
            if (cfg.baud > 100000000)
                usageError(QStringLiteral("bad value for --baud: %1").arg(cfg.baud));
        } else if (opt == QLatin1String("--model")) {
            cfg.modelName = value();
        } else if (opt == QLatin1String("--maker")) {
            cfg.modelPrefix = value();
        } else if (opt == QLatin1String("--record-length")) {
            cfg.recordLength = toInt(opt, value(), 1);
        } else if (opt == QLatin1String("--acq")) {
            cfg.acqMode = value();
        } else if (opt == QLatin1String("--math")) {
            cfg.math.display = value();
        } else if (opt == QLatin1String("--math-type")) {
            cfg.math.type = value();
        } else if (opt == QLatin1String("--trigger-polls")) {
            cfg.triggerPolls = toInt(opt, value(), -1);
        } else if (opt == QLatin1String("--trigger-delay-ms")) {
            cfg.triggerDelayMs = toInt(opt, value(), 0);
        } else if (opt == QLatin1String("--date")) {
            cfg.dateText = value();
        } else if (opt == QLatin1String("--reply")) {
            const QString pair = value();
            const int eq = pair.indexOf(QLatin1Char('='));
            if (eq <= 0)
                usageError(QStringLiteral("--reply needs CMD=TEXT: %1").arg(pair));
            cfg.replies.insert(pair.left(eq), unescaped(pair.mid(eq + 1)));
        } else if (opt == QLatin1String("--delay-ms")) {
            cfg.faults.replyDelayMs = toInt(opt, value(), 0);
        } else if (opt == QLatin1String("--silent")) {
            cfg.faults.silent.insert(value());
        } else if (opt == QLatin1String("--garbage")) {
            cfg.faults.garbage.insert(value());
        } else if (opt == QLatin1String("--split")) {
            cfg.faults.splitAnswers = true;
        } else if (opt == QLatin1String("--drop-after")) {
            cfg.faults.dropAfter = toInt(opt, value(), 1);
        } else if (opt == QLatin1String("--drop-on")) {
            cfg.faults.dropOn.insert(value());
        } else if (opt == QLatin1String("--block-fault")) {
            const QString f = value();
            if (f == QLatin1String("bad-length"))
                cfg.faults.blockFault = BlockFault::BadLength;
            else if (f == QLatin1String("truncated"))
                cfg.faults.blockFault = BlockFault::Truncated;
            else if (f == QLatin1String("chunked"))
                cfg.faults.blockFault = BlockFault::Chunked;
            else if (f == QLatin1String("trickle"))
                cfg.faults.blockFault = BlockFault::Trickle;
            else
                usageError(QStringLiteral("unknown block fault: %1").arg(f));
        } else if (opt == QLatin1String("--trickle-ms")) {
            cfg.faults.trickleMs = toInt(opt, value(), 1);
        } else if (opt == QLatin1String("--overlong")) {
            const QString pair = value();
            const int eq = pair.lastIndexOf(QLatin1Char('='));
            if (eq <= 0)
                usageError(QStringLiteral("--overlong needs CMD=N: %1").arg(pair));
            cfg.faults.overlong.insert(pair.left(eq), toInt(opt, pair.mid(eq + 1), 1));
        } else if (opt == QLatin1String("--endless")) {
            cfg.faults.endless.insert(value());
        } else if (opt == QLatin1String("--endless-rate")) {
            cfg.faults.endlessRate = toInt(opt, value(), 1);
        } else if (opt == QLatin1String("--outage-after")) {
            cfg.faults.outageAfter = toInt(opt, value(), 1);
        } else if (opt == QLatin1String("--outage-ms")) {
            cfg.faults.outageMs = toInt(opt, value(), 0);
        } else if (opt == QLatin1String("--log")) {
            log = true;
        } else {
            usageError(QStringLiteral("unknown option: %1").arg(opt));
        }
    }
    if (listenAt.isEmpty() && !pty)
        listenAt = QStringLiteral("127.0.0.1:0");

#ifdef Q_OS_UNIX
    // SIGTERM and SIGINT end the event loop through a pipe (on Windows, Ctrl+C
    // ends the process, which has nothing to save).
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        std::perror("quillmeter-sim: socketpair");
        return 1;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
        QCoreApplication::quit();
    });
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
#endif

    SimInstrument instrument(cfg);
    QTextStream out(stdout);
    if (log) {
        QObject::connect(&instrument, &SimInstrument::commandReceived, &app, [&out](const QString& cmd) {
            out << "< " << cmd << Qt::endl;
        });
    }

    SimTcpServer server(&instrument);
    if (!listenAt.isEmpty()) {
        const int colon = listenAt.lastIndexOf(QLatin1Char(':'));
        QString host = colon >= 0 ? listenAt.left(colon) : QStringLiteral("127.0.0.1");
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        const int port = toInt(QStringLiteral("--listen"), listenAt.mid(colon + 1), 0);
        QHostAddress address;
        if (port > 65535 || !address.setAddress(host))
            usageError(QStringLiteral("bad address for --listen: %1").arg(listenAt));
        if (!server.listen(address, quint16(port))) {
            QTextStream(stderr) << "quillmeter-sim: cannot listen on " << listenAt << ": "
                                << server.errorString() << "\n";
            return 1;
        }
        const QString shown = server.address().protocol() == QAbstractSocket::IPv6Protocol
                                  ? QStringLiteral("[%1]").arg(server.address().toString())
                                  : server.address().toString();
        out << "TCP " << shown << ":" << server.port() << Qt::endl;
    }

    SimPty terminal(&instrument);
    if (pty) {
        terminal.setLinkPath(ptyLink);
        if (!terminal.open()) {
            QTextStream(stderr) << "quillmeter-sim: cannot open a pseudo-terminal: " << terminal.errorString()
                                << "\n";
            return 1;
        }
        out << "PTY " << terminal.slavePath() << Qt::endl;
        // A new device after an outage.
        QObject::connect(&terminal, &SimPty::opened, &app,
                         [&out, &terminal] { out << "PTY " << terminal.slavePath() << Qt::endl; });
    }

    const int rc = app.exec();
    out.flush();
    return rc;
}
