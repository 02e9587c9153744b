#pragma once
// Settings of the simulated instrument: what it answers to the configuration
// queries, how it triggers, and which faults it shows on the wire. Every field
// may be changed at any time; the instrument reads them when it answers.
#include <QHash>
#include <QSet>
#include <QString>
#include <array>

namespace qmsim {

// One input channel as the front panel shows it.
struct SimChannel {
    double vdiv = 1.0;             // volts per division
    double offset = 0.0;           // volts
    QString display = "ON";        // "Cn:TRA? "
    QString coupling = "DC1M";     // "Cn:CPL? "
    QString bandwidth = "OFF";     // "Cn:BWL? "
    QString unit = "V";            // "Cn:VUNI? "
    QString invert = "OFF";        // "Cn:INV?"
};

// The math trace (M1) and its FFT settings.
struct SimMath {
    QString display = "OFF";       // "M1:TRA?"
    QString type = "ADD";          // "MATH?": ADD, SUB, MULT, FFT
    QString source1 = "CH1";       // "MATHS?" answers source1 + "," + source2
    QString source2 = "CH2";
    double vdiv = 1.0;             // "M1:VDIV?"
    double offset = 0.0;           // "M1:OFST?"
    QString fftSource = "CH1";     // "FSRC?"
    QString fftWindow = "HANNING"; // "FWINDOW?"
    double fftDelta = 1000.0;      // "FDELTA?"
};

// One automatic-measurement slot (A..D).
struct SimMeasSlot {
    QString source;                // first item of "MSEL?"
    QString kind;                  // second item of "MSEL?"
    double base = 0.0;             // "MSRx?" answers base, varied a little per trigger
    QString fixed;                 // when not empty, "MSRx?" answers exactly this text
};

// How a binary block answer ("DTWAVE?", "TSCRN? bmp|png") is spoiled.
enum class BlockFault {
    None,
    BadLength,   // header "#8abcdefgh", then the data and LF
    Truncated,   // header announces the full length, only half the data follows, then silence
    Chunked,     // block written in many small pieces, the LF in a separate later piece
    Trickle,     // the whole block, LF included, one byte every trickleMs
};

// Faults of the link. Command sets hold command texts as received (without
// LF); a command matches with or without its trailing blanks. "*" in `silent`,
// `garbage` or `overlong` matches every command that has an answer.
struct SimFaults {
    int replyDelayMs = 0;          // every answer leaves this much later (queued, never blocking)
    QSet<QString> silent;          // commands that get no answer
    QSet<QString> garbage;         // commands answered with random-looking bytes + LF
    bool splitAnswers = false;     // each text answer in two pieces ...
    int splitDelayMs = 30;         // ... the second this much later
    int dropAfter = 0;             // > 0: drop the link after this many commands (once)
    QSet<QString> dropOn;          // drop the link when this command arrives, unanswered (once each)
    BlockFault blockFault = BlockFault::None;
    int chunkBytes = 4096;         // Chunked: bytes per piece
    int chunkDelayMs = 1;          // Chunked: gap between pieces
    int terminatorDelayMs = 50;    // Chunked: gap before the lone LF
    int trickleMs = 1000;          // Trickle: gap between two bytes of a block

    // Text answers padded to this many characters before their LF: the answer,
    // then ",X,X,X..." cut to length (never read as part of a number). Answers
    // already as long are left alone; blocks are never padded.
    QHash<QString, int> overlong;
    // Commands answered with 'A' after 'A', never an LF, endlessRate bytes a
    // second (at most 64 KiB every 10 ms), until the next command arrives or
    // the link ends. A chunk leaves only when the transport has written the
    // previous one. Wins over `silent` and `garbage`.
    QSet<QString> endless;
    int endlessRate = 1000000;

    // > 0: after this many commands (answers first) the link goes away for
    // outageMs, once: the TCP server drops its connections and refuses new ones,
    // the pty disappears (its link path with it) and comes back as a new device.
    int outageAfter = 0;
    int outageMs = 1000;
};

struct SimConfig {
    QString modelName = "DS-5554"; // 7th character '4': four channels
    QString modelPrefix;           // text before the model name in "DTINF?" item 0
    int recordLength = 10000;
    QString acqMode = "SAMPLE";    // "ACQ?": SAMPLE, AVERAGE, HIGH_RES
    double timeDiv = 1e-3;
    double triggerDelay = 0.0;
    QString triggerSource = "C1";
    double triggerLevel = 0.5;
    QString triggerMode = "AUTO";  // "TRMD?"; "TRMD X" sets it, "WSGL" makes it SINGLE, the trigger STOP
    std::array<SimChannel, 4> channels{{
        {0.5, 0.0, "ON"},
        {1.0, 0.0, "ON"},
        {2.0, 0.0, "OFF"},
        {5.0, 0.0, "OFF"},
    }};
    SimMath math;
    std::array<SimMeasSlot, 4> meas{{
        {"C1", "MAX", 1.5, {}},
        {"C1", "P-P", 3.0, {}},
        {"C2", "DUTY", 50.0, {}},
        {"C1", "INTEGRAL", 1.25e-3, {}},
    }};
    double measJitter = 0.01;      // relative variation of "MSRx?" from trigger to trigger

    // Trigger: after "WSGL" this many "TESR?" polls answer without bit 0, and
    // at least triggerDelayMs must have passed; triggerPolls < 0 never fires.
    int triggerPolls = 2;
    int triggerDelayMs = 0;
    int statusExtraBits = 0;       // ORed into every "TESR?" answer (e.g. 2)

    QString dateText;              // "DATE?" and "DTINF?"; empty: the current time

    // Exact answer overrides: a command equal to a key (as received, or without
    // its trailing blanks) is answered with the value instead. A value that
    // holds a LF is sent exactly as it is, without a LF added ("1.25\nX": a
    // byte after the answer's LF).
    QHash<QString, QString> replies;

    SimFaults faults;

    // > 0: the instrument's output crosses a line of this many baud, as a
    // serial link would carry it (ten bits a byte: baud / 10 bytes a second).
    // Bytes leave once they have crossed it, in chunks of about 10 ms; answers
    // queue behind each other on the line. Endless answers go no faster.
    int baud = 0;

    // Four channels when the 7th character of the model name is '4', else two.
    int channelCount() const
    {
        return modelName.size() >= 7 && modelName.at(6) == QLatin1Char('4') ? 4 : 2;
    }
};

}  // namespace qmsim
