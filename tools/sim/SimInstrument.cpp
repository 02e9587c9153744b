#include "sim/SimInstrument.h"

#include <QDateTime>
#include <QtDebug>
#include <algorithm>
#include <cmath>

namespace qmsim {

namespace {

// The longest command line kept while waiting for its LF.
constexpr int MaxLineBytes = 65536;
// An endless answer: its timer's period and the largest chunk it sends at once.
constexpr int StreamTickMs = 10;
constexpr int MaxStreamChunk = 65536;

// Numbers in the instrument's exponent text, e.g. "5.000E-01".
QString num(double v, int decimals = 3)
{
    return QString::number(v, 'E', decimals);
}

QString stripTrailingBlanks(QString s)
{
    while (s.endsWith(QLatin1Char(' ')))
        s.chop(1);
    return s;
}

// Matches a command against a fault set: as received, without its trailing
// blanks, or "*" when `anyWildcard` is allowed.
bool matches(const QSet<QString>& set, const QString& raw, const QString& cmd, bool anyWildcard)
{
    return set.contains(raw) || set.contains(cmd) || (anyWildcard && set.contains(QStringLiteral("*")));
}

// The length an over-long answer to the command is padded to; -1 for none.
int overlongLength(const QHash<QString, int>& lengths, const QString& raw, const QString& cmd)
{
    for (const QString& key : {raw, cmd, QStringLiteral("*")}) {
        const auto it = lengths.constFind(key);
        if (it != lengths.constEnd())
            return it.value();
    }
    return -1;
}

// The text followed by ",X,X,X..." up to `length` characters.
QByteArray padded(QByteArray text, int length)
{
    for (int i = 0; text.size() < length; ++i)
        text += (i % 2 == 0) ? ',' : 'X';
    return text;
}

bool parseCount(const QString& text, qint64* out)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < 0)
        return false;
    *out = v;
    return true;
}

}  // namespace

SimInstrument::SimInstrument(QObject* parent) : SimInstrument(SimConfig{}, parent) {}

SimInstrument::SimInstrument(const SimConfig& config, QObject* parent) : QObject(parent), m_cfg(config)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SimInstrument::pump);
    connect(&m_streamTimer, &QTimer::timeout, this, &SimInstrument::streamChunk);
    m_clock.start();
    m_armClock.start();
}

void SimInstrument::feed(const QByteArray& bytes, const QObject* client)
{
    if (client != m_client) {
        resetLink();
        m_client = client;
    }
    // While a drop is on its way the connection is as good as gone: what the
    // client still sends is lost with it.
    if (m_dropPending)
        return;
    m_inbuf += bytes;
    while (!m_dropPending) {
        const int lf = m_inbuf.indexOf('\n');
        if (lf < 0)
            break;
        QByteArray line = m_inbuf.left(lf);
        m_inbuf.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        handleLine(line);
    }
    if (m_inbuf.size() > MaxLineBytes) {
        qWarning("quillmeter-sim: discarding %lld bytes without a line end",
                 static_cast<long long>(m_inbuf.size()));
        m_inbuf.clear();
    }
}

void SimInstrument::detach(const QObject* client)
{
    if (client == m_client) {
        resetLink();
        m_client = nullptr;
    }
}

void SimInstrument::resetLink()
{
    m_inbuf.clear();
    m_queue.clear();
    m_timer.stop();
    stopStream();
    m_dropPending = false;
}

int SimInstrument::receivedCount(const QString& command) const
{
    const QString cmd = stripTrailingBlanks(command);
    return int(std::count_if(m_received.cbegin(), m_received.cend(), [&](const QString& r) {
        return r == command || stripTrailingBlanks(r) == cmd;
    }));
}

void SimInstrument::handleLine(const QByteArray& line)
{
    const QString raw = QString::fromLatin1(line);
    m_received << raw;
    ++m_commandCount;
    emit commandReceived(raw);

    // A new command ends an endless answer, also one still waiting its turn.
    stopStream();
    std::erase_if(m_queue, [](const Piece& p) { return p.action == Piece::Stream; });

    const QString cmd = stripTrailingBlanks(raw);
    SimFaults& f = m_cfg.faults;

    if (matches(f.dropOn, raw, cmd, false)) {
        f.dropOn.remove(raw);
        f.dropOn.remove(cmd);
        queueDrop();
        return;
    }

    Answer a = answer(cmd);
    m_local = (cmd == QLatin1String("GTL"));

    if (m_cfg.replies.contains(raw))
        a = {Answer::Text, m_cfg.replies.value(raw).toLatin1()};
    else if (m_cfg.replies.contains(cmd))
        a = {Answer::Text, m_cfg.replies.value(cmd).toLatin1()};

    const bool hasAnswer = a.kind != Answer::None;
    if (matches(f.endless, raw, cmd, false)) {
        Piece stream;
        stream.action = Piece::Stream;
        stream.due = m_clock.elapsed() + std::max(0, f.replyDelayMs);
        enqueue(stream);
        a = {};
    } else if (matches(f.silent, raw, cmd, hasAnswer)) {
        a = {};
    } else if (matches(f.garbage, raw, cmd, hasAnswer)) {
        a = {Answer::Text, garbageBytes()};
    }

    if (a.kind == Answer::Text)
        sendText(padded(a.bytes, overlongLength(f.overlong, raw, cmd)));
    else if (a.kind == Answer::Block)
        sendBlock(a.bytes);

    if (f.dropAfter > 0 && m_commandCount >= f.dropAfter) {
        f.dropAfter = 0;
        queueDrop();
    }
    if (f.outageAfter > 0 && m_commandCount >= f.outageAfter) {
        f.outageAfter = 0;
        queueDrop(Piece::Outage);
    }
}

SimInstrument::Answer SimInstrument::answer(const QString& cmd)
{
    auto text = [](const QString& s) { return Answer{Answer::Text, s.toLatin1()}; };
    const SimMath& m = m_cfg.math;

    if (cmd == QLatin1String("DATE?"))
        return text(dateText());
    if (cmd == QLatin1String("TESR?")) {
        if (m_armed) {
            ++m_polls;
            const bool pollsDone = m_cfg.triggerPolls >= 0 && m_polls > m_cfg.triggerPolls;
            const bool timeDone = m_armClock.elapsed() >= m_cfg.triggerDelayMs;
            if (pollsDone && timeDone) {
                m_armed = false;
                m_status |= 1;
                ++m_triggerCount;
                if (m_cfg.triggerMode == QLatin1String("SINGLE"))
                    m_cfg.triggerMode = QStringLiteral("STOP");
            }
        }
        const int value = m_status | m_cfg.statusExtraBits;
        m_status = 0;  // reading clears the register
        return text(QString::number(value));
    }
    if (cmd == QLatin1String("WSGL")) {
        m_armed = true;
        m_polls = 0;
        m_armClock.start();
        m_cfg.triggerMode = QStringLiteral("SINGLE");
        return {};
    }
    if (cmd == QLatin1String("GTL"))
        return {};
    if (cmd == QLatin1String("DISP OFF") || cmd == QLatin1String("DISP ON")) {
        m_displayOn = cmd.endsWith(QLatin1String("ON"));
        return {};
    }
    if (cmd.startsWith(QLatin1String("*ESE "))) {
        bool ok = false;
        const int v = cmd.mid(5).trimmed().toInt(&ok);
        if (ok && v >= 0 && v <= 255)
            m_ese = v;
        return {};
    }
    if (cmd == QLatin1String("TRMD?"))
        return text(m_cfg.triggerMode);
    if (cmd.startsWith(QLatin1String("TRMD "))) {
        const QString mode = cmd.mid(5).trimmed();
        if (!mode.isEmpty())
            m_cfg.triggerMode = mode;
        return {};
    }
    if (cmd == QLatin1String("DTINF?"))
        return text(dtinf());
    if (cmd == QLatin1String("TDIV?"))
        return text(num(m_cfg.timeDiv));
    if (cmd == QLatin1String("ACQ?"))
        return text(m_cfg.acqMode);
    if (cmd == QLatin1String("TSRC?"))
        return text(m_cfg.triggerSource);
    if (cmd == QLatin1String("TLVL?"))
        return text(num(m_cfg.triggerLevel));
    if (cmd == QLatin1String("TRDL?"))
        return text(num(m_cfg.triggerDelay));
    if (cmd.size() > 3 && cmd.at(0) == QLatin1Char('C') && cmd.at(1) >= QLatin1Char('1')
        && cmd.at(1) <= QLatin1Char('4') && cmd.at(2) == QLatin1Char(':'))
        return queryChannel(cmd.at(1).unicode() - '1', cmd.mid(3));
    if (cmd == QLatin1String("M1:VDIV?"))
        return text(num(m.vdiv));
    if (cmd == QLatin1String("M1:OFST?"))
        return text(num(m.offset));
    if (cmd == QLatin1String("M1:TRA?"))
        return text(m.display);
    if (cmd == QLatin1String("MATH?"))
        return text(m.type);
    if (cmd == QLatin1String("MATHS?"))
        return text(m.source1 + QLatin1Char(',') + m.source2);
    if (cmd == QLatin1String("FSRC?"))
        return text(m.fftSource);
    if (cmd == QLatin1String("FWINDOW?"))
        return text(m.fftWindow);
    if (cmd == QLatin1String("FDELTA?"))
        return text(num(m.fftDelta));
    if (cmd.size() == 6 && cmd.startsWith(QLatin1String("DIRM ")) && cmd.at(5) >= QLatin1Char('A')
        && cmd.at(5) <= QLatin1Char('D')) {
        m_slot = cmd.at(5).unicode() - 'A';
        return {};
    }
    if (cmd == QLatin1String("MSEL?")) {
        const SimMeasSlot& s = m_cfg.meas[m_slot];
        return text(s.source + QLatin1Char(',') + s.kind);
    }
    if (cmd.size() == 5 && cmd.startsWith(QLatin1String("MSR")) && cmd.at(3) >= QLatin1Char('A')
        && cmd.at(3) <= QLatin1Char('D') && cmd.at(4) == QLatin1Char('?'))
        return text(measValue(cmd.at(3).unicode() - 'A'));
    if (cmd == QLatin1String("TSCRN? bmp") || cmd == QLatin1String("TSCRN? png")) {
        const QByteArray file = screenFile(m_cfg, cmd.mid(7));
        if (file.isEmpty())
            return {};
        return {Answer::Block, file};
    }
    if (cmd == QLatin1String("DTFORM BYTE") || cmd == QLatin1String("DTFORM WORD")) {
        m_word = cmd.endsWith(QLatin1String("WORD"));
        return {};
    }
    if (cmd == QLatin1String("DTBORD H/L") || cmd == QLatin1String("DTBORD L/H")) {
        m_highFirst = cmd.endsWith(QLatin1String("H/L"));
        return {};
    }
    if (cmd.startsWith(QLatin1String("WAVESRC "))) {
        const QString src = cmd.mid(8);
        if (src == QLatin1String("MATH")
            || (src.size() == 3 && src.startsWith(QLatin1String("CH")) && src.at(2) >= QLatin1Char('1')
                && src.at(2) <= QLatin1Char('4')))
            m_waveSource = src;
        return {};
    }
    if (cmd.startsWith(QLatin1String("DTPOINTS "))) {
        parseCount(cmd.mid(9), &m_points);
        return {};
    }
    if (cmd.startsWith(QLatin1String("DTSTART "))) {
        parseCount(cmd.mid(8), &m_start);
        return {};
    }
    if (cmd == QLatin1String("DTWAVE?")) {
        const qint64 points = m_points < 0 ? m_cfg.recordLength : m_points;
        return {Answer::Block, waveData(m_cfg, m_waveSource, m_word, m_highFirst, m_start, points)};
    }
    return {};  // unknown: no answer
}

SimInstrument::Answer SimInstrument::queryChannel(int ch, const QString& what)
{
    const SimChannel& c = m_cfg.channels[ch];
    QString t;
    if (what == QLatin1String("VDIV?"))
        t = num(c.vdiv);
    else if (what == QLatin1String("OFST?"))
        t = num(c.offset);
    else if (what == QLatin1String("TRA?"))
        t = c.display;
    else if (what == QLatin1String("CPL?"))
        t = c.coupling;
    else if (what == QLatin1String("BWL?"))
        t = c.bandwidth;
    else if (what == QLatin1String("VUNI?"))
        t = c.unit;
    else if (what == QLatin1String("INV?"))
        t = c.invert;
    else
        return {};
    return {Answer::Text, t.toLatin1()};
}

QString SimInstrument::measValue(int slot) const
{
    const SimMeasSlot& s = m_cfg.meas[slot];
    if (!s.fixed.isEmpty())
        return s.fixed;
    const double v = s.base * (1.0 + m_cfg.measJitter * std::sin(1.7 * m_triggerCount + slot));
    return num(v, 4);
}

QString SimInstrument::dateText() const
{
    if (!m_cfg.dateText.isEmpty())
        return m_cfg.dateText;
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

// One line of 31 comma-separated items. Item 0 holds the model name, item 1
// ends in the file version, item 2 ends in the 19-character date, and item 15
// (two channels) or 23 (four channels) is "Record Length = " followed by ten
// digits. The other items are descriptive "Key = value" texts.
QString SimInstrument::dtinf() const
{
    constexpr int Items = 31;
    const int rlItem = m_cfg.channelCount() == 4 ? 23 : 15;
    QStringList filler;
    filler << QStringLiteral("Acquire Mode = ") + m_cfg.acqMode
           << QStringLiteral("Time/div = ") + num(m_cfg.timeDiv)
           << QStringLiteral("Trigger Delay = ") + num(m_cfg.triggerDelay)
           << QStringLiteral("Trigger Source = ") + m_cfg.triggerSource
           << QStringLiteral("Trigger Level = ") + num(m_cfg.triggerLevel)
           << QStringLiteral("Trigger Mode = ") + m_cfg.triggerMode
           << QStringLiteral("Sampling Rate = ")
                  + num(m_cfg.timeDiv > 0 ? m_cfg.recordLength / (10.0 * m_cfg.timeDiv) : 0.0);
    for (int ch = 0; ch < m_cfg.channelCount(); ++ch) {
        const SimChannel& c = m_cfg.channels[ch];
        const QString n = QString::number(ch + 1);
        filler << QStringLiteral("CH%1 Display = ").arg(n) + c.display
               << QStringLiteral("CH%1 V/div = ").arg(n) + num(c.vdiv)
               << QStringLiteral("CH%1 Offset = ").arg(n) + num(c.offset);
    }
    filler << QStringLiteral("Math Display = ") + m_cfg.math.display
           << QStringLiteral("Math Type = ") + m_cfg.math.type;

    QStringList items;
    items << m_cfg.modelPrefix + m_cfg.modelName << QStringLiteral("File Version = 1")
          << QStringLiteral("Date = ") + dateText();
    int next = 0;
    for (int i = 3; i < Items; ++i) {
        if (i == rlItem)
            items << QStringLiteral("Record Length = %1").arg(std::max(0, m_cfg.recordLength), 10, 10, QLatin1Char('0'));
        else if (next < filler.size())
            items << filler.at(next++);
        else
            items << QStringLiteral("Reserved %1 = 0").arg(i);
    }
    return items.join(QLatin1Char(','));
}

// Bytes that never read as a number: no digits, signs, blanks, CR or LF.
QByteArray SimInstrument::garbageBytes()
{
    QByteArray out;
    for (int i = 0; i < 16; ++i) {
        m_garbageSeed = m_garbageSeed * 1664525u + 1013904223u;
        const quint32 r = m_garbageSeed >> 24;
        out += (r & 1) ? char('G' + (r >> 1) % 20) : char(0x80 | (r >> 1));
    }
    return out;
}

void SimInstrument::sendText(const QByteArray& text)
{
    const qint64 due = m_clock.elapsed() + std::max(0, m_cfg.faults.replyDelayMs);
    const QByteArray line = text.contains('\n') ? text : text + '\n';
    if (m_cfg.faults.splitAnswers && line.size() > 1) {
        const int half = line.size() / 2;
        enqueue(line.left(half), due);
        enqueue(line.mid(half), due + std::max(0, m_cfg.faults.splitDelayMs));
    } else {
        enqueue(line, due);
    }
}

void SimInstrument::sendBlock(const QByteArray& data)
{
    const SimFaults& f = m_cfg.faults;
    const qint64 due = m_clock.elapsed() + std::max(0, f.replyDelayMs);
    switch (f.blockFault) {
    case BlockFault::None:
        enqueue(makeBlock(data), due);
        break;
    case BlockFault::BadLength:
        enqueue(QByteArray("#8abcdefgh") + data + '\n', due);
        break;
    case BlockFault::Truncated: {
        // Announce more than follows, then say nothing more.
        const qint64 announced = std::max<qint64>(data.size(), 16);
        enqueue(QByteArray("#8") + QByteArray::number(announced).rightJustified(8, '0') + data.left(data.size() / 2),
                due);
        break;
    }
    case BlockFault::Chunked: {
        const QByteArray block = makeBlock(data);
        const QByteArray body = block.left(block.size() - 1);
        const int step = std::max(1, f.chunkBytes);
        qint64 t = due;
        for (qsizetype pos = 0; pos < body.size(); pos += step) {
            enqueue(body.mid(pos, step), t);
            t += std::max(0, f.chunkDelayMs);
        }
        enqueue(QByteArray("\n"), t + std::max(0, f.terminatorDelayMs));
        break;
    }
    case BlockFault::Trickle: {
        Piece p;
        p.bytes = makeBlock(data);
        p.due = due;
        p.stepMs = std::max(1, f.trickleMs);
        enqueue(p);
        break;
    }
    }
}

void SimInstrument::queueDrop(Piece::Action action)
{
    m_dropPending = true;
    m_inbuf.clear();
    Piece p;
    p.action = action;
    p.due = m_clock.elapsed() + std::max(0, m_cfg.faults.replyDelayMs);
    p.outageMs = std::max(0, m_cfg.faults.outageMs);
    enqueue(p);
}

void SimInstrument::enqueue(const QByteArray& bytes, qint64 due)
{
    Piece p;
    p.bytes = bytes;
    p.due = due;
    enqueue(p);
}

void SimInstrument::enqueue(Piece piece)
{
    // Keep the order of the pieces even when a later one is due earlier.
    if (!m_queue.empty())
        piece.due = std::max(piece.due, m_queue.back().due);
    m_queue.push_back(std::move(piece));
    pump();
}

void SimInstrument::pump()
{
    qint64 wakeNs = -1;  // with a baud rate: when the next chunk has crossed the line
    while (!m_queue.empty() && m_queue.front().due <= m_clock.elapsed()) {
        Piece& front = m_queue.front();
        Piece p;
        if (front.stepMs > 0 && front.bytes.size() - front.sent > 1) {
            // Trickling: one byte now, the piece stays in front for the next.
            p.bytes = front.bytes.mid(front.sent, 1);
            ++front.sent;
            front.due += front.stepMs;
            if (front.due <= m_clock.elapsed())  // late: never catch up in a burst
                front.due = m_clock.elapsed() + front.stepMs;
        } else if (front.action == Piece::Bytes && m_cfg.baud > 0 && front.stepMs == 0) {
            const qsizetype n = crossedLine(front, &wakeNs);
            if (n < 0)
                break;
            p.bytes = front.bytes.mid(front.sent, n);
            front.sent += n;
            if (front.sent >= front.bytes.size())
                m_queue.pop_front();
        } else {
            p = std::move(front);
            m_queue.pop_front();
            if (p.sent > 0)
                p.bytes = p.bytes.mid(p.sent);
        }
        // Nothing of the queue is touched below: a slot may feed and change it.
        switch (p.action) {
        case Piece::Bytes:
            emit output(p.bytes);
            break;
        case Piece::Drop:
        case Piece::Outage:
            m_dropPending = false;
            m_inbuf.clear();
            stopStream();
            if (p.action == Piece::Drop)
                emit dropRequested();
            else
                emit outageRequested(p.outageMs);
            break;
        case Piece::Stream: {
            const int rate = endlessRate();
            const int tick = rate >= 1000 / StreamTickMs ? StreamTickMs : (1000 + rate - 1) / rate;
            // The first chunk, one tick's worth, leaves at once.
            m_streamCredit = std::clamp(double(rate) * tick / 1000.0, 1.0, double(MaxStreamChunk));
            m_streamLast = m_clock.elapsed();
            m_streamTimer.start(tick);
            sendStreamChunk();
            break;
        }
        }
    }
    if (m_queue.empty())
        return;
    if (wakeNs >= 0 && m_queue.front().due <= m_clock.elapsed())
        m_timer.start(int(std::max<qint64>(0, (wakeNs - m_clock.nsecsElapsed() + 999999) / 1000000)));
    else
        m_timer.start(static_cast<int>(std::max<qint64>(0, m_queue.front().due - m_clock.elapsed())));
}

qsizetype SimInstrument::crossedLine(const Piece& front, qint64* wakeNs)
{
    // The line is free again when its last byte has crossed, or when this
    // piece became due, whichever is later. A byte has crossed the line
    // 10 / baud seconds after it started.
    const double byteNs = 1e10 / m_cfg.baud;
    const qint64 start = std::max(m_lineFreeNs, front.due * 1000000);
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 left = front.bytes.size() - front.sent;
    const qint64 crossed = now > start ? std::min<qint64>(left, qint64(double(now - start) / byteNs)) : 0;
    // Wait for a chunk of about one stream tick, or the rest of the piece.
    const qint64 chunk = std::min<qint64>(left, std::max<qint64>(1, qint64(StreamTickMs * 1e6 / byteNs)));
    if (crossed < chunk) {
        *wakeNs = start + qint64(std::ceil(double(chunk) * byteNs));
        return -1;
    }
    m_lineFreeNs = start + qint64(double(crossed) * byteNs);
    return qsizetype(crossed);
}

int SimInstrument::endlessRate() const
{
    const int rate = std::max(1, m_cfg.faults.endlessRate);
    return m_cfg.baud > 0 ? std::max(1, std::min(rate, m_cfg.baud / 10)) : rate;
}

void SimInstrument::stopStream()
{
    m_streamTimer.stop();
    m_streamCredit = 0;
}

void SimInstrument::streamChunk()
{
    const qint64 now = m_clock.elapsed();
    const double rate = endlessRate();
    m_streamCredit = std::min(m_streamCredit + rate * double(now - m_streamLast) / 1000.0, double(MaxStreamChunk));
    m_streamLast = now;
    sendStreamChunk();
}

void SimInstrument::sendStreamChunk()
{
    if (m_streamCredit < 1)
        return;
    // Only when the transport has written the previous chunk: a client that
    // does not read never makes the instrument hold more than one chunk.
    qint64 backlog = 0;
    emit backlogRequested(m_client, &backlog);
    if (backlog > 0)
        return;
    const int n = int(m_streamCredit);
    m_streamCredit -= n;
    emit output(QByteArray(n, 'A'));
}

QByteArray makeBlock(const QByteArray& data)
{
    return QByteArray("#8") + QByteArray::number(data.size()).rightJustified(8, '0') + data + '\n';
}

}  // namespace qmsim
