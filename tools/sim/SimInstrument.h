#pragma once
// The simulated instrument's protocol core, free of any transport: bytes come
// in through feed(), answers leave through the output() signal. Commands end
// in LF (a CR before it is dropped); text answers are one line ending in LF;
// waveform and screen answers are blocks "#8" + 8 length digits + data + LF.
#include "sim/SimConfig.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <deque>

namespace qmsim {

class SimInstrument : public QObject {
    Q_OBJECT
public:
    explicit SimInstrument(QObject* parent = nullptr);
    explicit SimInstrument(const SimConfig& config, QObject* parent = nullptr);

    SimConfig& config() { return m_cfg; }
    const SimConfig& config() const { return m_cfg; }

    // Bytes from the link. `client` names the connection they came from
    // (a transport passes itself or its socket); when it differs from the
    // previous one, the old connection's unfinished line and unsent answers are
    // discarded first.
    void feed(const QByteArray& bytes, const QObject* client = nullptr);

    // The connection that fed last; answers belong to it.
    const QObject* client() const { return m_client; }
    // The connection `client` has gone: forget its unfinished line and answers.
    void detach(const QObject* client);
    // Forget the unfinished command line and every answer not yet sent.
    void resetLink();
    bool hasPendingOutput() const { return !m_queue.empty(); }
    // An endless answer is streaming.
    bool isStreaming() const { return m_streamTimer.isActive(); }

    // Every command as received (without LF, trailing blanks kept).
    QStringList received() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    // How often `command` arrived since the last clearReceived(), with or
    // without trailing blanks.
    int receivedCount(const QString& command) const;

    // State that tests look at.
    bool displayOn() const { return m_displayOn; }
    bool isLocal() const { return m_local; }
    bool triggerArmed() const { return m_armed; }
    int triggerCount() const { return m_triggerCount; }
    int eseValue() const { return m_ese; }
    QChar measSlot() const { return QChar('A' + m_slot); }

signals:
    void output(const QByteArray& bytes);
    void dropRequested();
    // The link of the current client goes away for `ms`, then comes back.
    void outageRequested(int ms);
    void commandReceived(const QString& command);
    // Asked (direct connection) before each chunk of an endless answer: the
    // transport carrying `client` adds the bytes it has not yet written.
    void backlogRequested(const QObject* client, qint64* bytes);

private:
    struct Piece {
        enum Action { Bytes, Drop, Outage, Stream } action = Bytes;
        qint64 due = 0;      // on m_clock, ms
        QByteArray bytes;
        int stepMs = 0;      // Bytes: > 0 sends one byte every stepMs
        qsizetype sent = 0;  // Bytes: how many already left
        int outageMs = 0;    // Outage
    };
    struct Answer {
        enum Kind { None, Text, Block } kind = None;
        QByteArray bytes;    // text without LF, or the block's data
    };

    void handleLine(const QByteArray& line);
    Answer answer(const QString& cmd);
    Answer queryChannel(int ch, const QString& what);
    QString measValue(int slot) const;
    QString dateText() const;
    QString dtinf() const;
    QByteArray garbageBytes();
    // The text and its LF; a text that holds a LF already leaves as it is.
    void sendText(const QByteArray& text);
    void sendBlock(const QByteArray& data);
    void queueDrop(Piece::Action action = Piece::Drop);
    void enqueue(const QByteArray& bytes, qint64 due);
    void enqueue(Piece piece);
    void pump();
    // The bytes of the front piece that have crossed the line by now (with a
    // baud rate); -1 with *wakeNs set when the next chunk has not crossed yet.
    qsizetype crossedLine(const Piece& front, qint64* wakeNs);
    int endlessRate() const;
    void stopStream();
    void streamChunk();
    void sendStreamChunk();

    SimConfig m_cfg;
    QStringList m_received;
    QByteArray m_inbuf;
    const QObject* m_client = nullptr;
    bool m_dropPending = false;
    int m_commandCount = 0;
    quint32 m_garbageSeed = 0x2545F491u;

    // Output queue: pieces leave in order, each not before its due time.
    std::deque<Piece> m_queue;
    QTimer m_timer;
    QElapsedTimer m_clock;
    // With a baud rate: when the line has carried every byte given to it so
    // far (on m_clock, ns).
    qint64 m_lineFreeNs = 0;

    // Endless answer: bytes owed by the rate, sent while the transport keeps up.
    QTimer m_streamTimer;
    qint64 m_streamLast = 0;        // on m_clock, ms
    double m_streamCredit = 0;

    // Instrument state.
    bool m_displayOn = true;
    bool m_local = true;
    int m_ese = 0;
    bool m_armed = false;
    int m_polls = 0;
    QElapsedTimer m_armClock;
    int m_status = 0;
    int m_triggerCount = 0;
    int m_slot = 0;                 // DIRM: 0..3 = A..D
    bool m_word = false;            // DTFORM
    bool m_highFirst = true;        // DTBORD
    QString m_waveSource = "CH1";   // WAVESRC
    qint64 m_points = -1;           // DTPOINTS; < 0: the record length
    qint64 m_start = 0;             // DTSTART
};

// Waveform shapes, in screen divisions, at position x (0..1) across the
// record: CH1 sine, CH2 square, CH3 triangle, CH4 sawtooth (ch = 0..3).
double channelPosition(int ch, double x);
// Channel index 0..3 named by a math source text ("CH2", "C2" -> 1); 0 when none.
int mathSourceIndex(const QString& source);
// The math trace's value at x: volts (ADD, SUB), volts squared (MULT), dBm (other).
double mathValue(const SimConfig& cfg, double x);
// The data bytes of a "DTWAVE?" answer for `source` ("CH1".."CH4", "MATH"):
// min(points, recordLength - start) samples from record index `start`, one
// signed byte (word = false) or two bytes per channel sample, two bytes per
// math sample (four for MULT); multi-byte codes high byte first unless
// highFirst is false.
QByteArray waveData(const SimConfig& cfg, const QString& source, bool word, bool highFirst,
                    qint64 start, qint64 points);
// The 640x480 screen picture (graticule and a trace per displayed trace).
QImage screenImage(const SimConfig& cfg);
// The screen picture as an image file, format "bmp" or "png"; empty on failure.
QByteArray screenFile(const SimConfig& cfg, const QString& format);
// "#8" + 8 zero-padded length digits + data + LF.
QByteArray makeBlock(const QByteArray& data);

}  // namespace qmsim
