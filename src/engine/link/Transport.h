#pragma once
// The road to the instrument: one interface, a TCP and a serial
// implementation, chosen once when the link opens. Every operation blocks the
// calling (worker) thread, is bounded in time and sees the run's stop token
// within kStopSliceMs (+ kStopGraceMs for a stop, see StopToken.h). Results are
// typed: text, timed out, link lost, stopped, or a failed transfer. The time
// bounds are the link's LinkLimits, given when it opens.
#include "engine/link/LinkLimits.h"
#include "engine/link/StopToken.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace qm {

enum class IoStatus {
    Ok,
    TimedOut,  // the instrument stayed silent past the time-out rule
    Lost,      // the connection dropped, the serial device is gone, a write cannot go out
    Stopped,   // the stop token gave the wait up
    Failed,    // a block went wrong (bad header, too long, stalled), or an answer line
               // never ended (the link is out of step); the link is still up
};

struct WriteResult {
    IoStatus status = IoStatus::Ok;
    QString error;  // the system's reason, for Lost
    bool ok() const { return status == IoStatus::Ok; }
};

struct LineResult {
    IoStatus status = IoStatus::Ok;
    // The answer up to its first CR or LF, NUL bytes dropped (Latin-1 bytes).
    QByteArray line;
    // The answer was longer than the read's limit (serial: or held more text
    // after its LF): the rest was read and dropped so that it cannot become
    // the next answer.
    bool overlong = false;
    QString error;
    bool ok() const { return status == IoStatus::Ok; }
};

struct BlockResult {
    IoStatus status = IoStatus::Ok;
    QByteArray data;        // the n data bytes (terminator dropped)
    int32_t announced = 0;  // n from the header
    QString error;          // what went wrong, for the user
    bool ok() const { return status == IoStatus::Ok; }
};

// Bounds (the times a link waits are its LinkLimits).
inline constexpr int kCloseFlushMs = 2000;        // pending output before a close
inline constexpr int kSerialLineLimit = 1000;     // serial answers: bytes counted before the read stops
inline constexpr int32_t kScreenBlockLimit = 1000001;
inline constexpr int32_t kWaveBlockLimit = 10000021;

class Transport {
public:
    virtual ~Transport() = default;

    // What the link is, for messages: "127.0.0.1:5198", "COM2 (/dev/ttyACM1)".
    virtual QString describe() const = 0;

    // Writes the bytes as one output operation (the caller appends LF) and
    // waits, bounded at LinkLimits::sendTimeoutMs, until they are handed to the system.
    virtual WriteResult write(const QByteArray& bytes, const StopToken& stop) = 0;

    // One answer line, with the link's own time-out rule:
    //  - serial: `timeoutSeconds` bounds the silence before each next piece
    //    (it restarts whenever bytes arrive); every read takes all that is
    //    waiting; reading ends at a LF or once kSerialLineLimit bytes were
    //    counted, which is then the limit; what arrived after the first LF is
    //    dropped (`overlong` when it holds more than line ends).
    //  - TCP: `timeoutSeconds` bounds the whole read; reading ends at the
    //    first LF or after `maxBytes` characters; what follows the first line
    //    stays for the next read.
    // Past the limit, the rest of that line up to its LF is read and dropped
    // (at most LinkLimits::overlongDropMax, 1 MB, within the time-out) and
    // `overlong` is set. An answer whose end is not found so leaves the link
    // out of step: input is dropped until the line has been quiet for the
    // time-out (within twice the time-out, at most resyncDropMax, 16 MB); then
    // the line is returned `overlong`, else the read is Failed. Silence before
    // the limit is TimedOut and discards a partial answer.
    virtual LineResult readLine(int32_t maxBytes, double timeoutSeconds, const StopToken& stop) = 0;

    // A binary block: "#", the digit 8, eight length digits, the data, a
    // terminator byte. `limit`: most data bytes accepted. Failed for a header
    // that is not "#8" and eight digits, a length above `limit`, silence
    // longer than LinkLimits::blockSilenceMs, or a block that overruns its
    // deadline of LinkLimits::blockBaseMs + twice the time its length needs
    // at the link's nominal rate
    // (serial: baud / 10 bytes a second; TCP: 1 MB/s). After a failure on a
    // link that is still up, the rest of the spoiled block is drained.
    virtual BlockResult readBlock(int32_t limit, const StopToken& stop) = 0;

    // Reads and drops input until the line has been quiet for
    // LinkLimits::drainQuietMs (at most drainCapMs).
    virtual void drain(const StopToken& stop) = 0;

    // True once the connection dropped or the device failed.
    virtual bool lost() const = 0;

    // Writes out pending output (bounded at flushMs), then closes.
    virtual void close(int flushMs = kCloseFlushMs) = 0;

    // Called once, on the waiting thread, when a single read (a line or a
    // block) has waited longer than LinkLimits::slowNoticeMs, so the run can
    // say what it waits for. Empty: nothing is called.
    void setSlowNotice(std::function<void()> notice) { slowNotice_ = std::move(notice); }

protected:
    std::function<void()> slowNotice_;
};

// Why a link could not be opened. The common cases are told in Japanese
// with a hint for the user; the transports take them from the system's error
// codes where the link opens.
enum class OpenFailure {
    None,
    Refused,       // nobody accepts connections at that address and port
    TimedOut,      // no answer within the bound
    HostNotFound,  // the host name gives no address
    Unreachable,   // no route to the host or its network
    PortMissing,   // the serial device does not exist (or the number names none)
    PortBusy,      // another program has the serial port open
    NoPermission,  // this user may not open the serial device
    Other,         // the system's own text says what
};

struct OpenResult {
    std::unique_ptr<Transport> transport;  // null on failure
    // On failure: "<where>: <reason>", the link named once ("127.0.0.1:5198",
    // "COM3 (/dev/ttyACM2)") and the reason in Japanese, the system's own
    // text in parentheses ("接続を拒否されました (Connection refused)").
    QString error;
    OpenFailure failure = OpenFailure::None;
    bool stopped = false;                   // the stop token ended the attempt
};

// The reason of a failure: its Japanese text, then the system's text in
// parentheses when there is one (Other: the system's text alone).
QString OpenFailureText(OpenFailure failure, const QString& systemText);
// What the user may check, one line: for TCP the instrument's power and IP
// address; for a serial port the power, the cable and the port number, or
// the program that holds the port, or the user's rights to the device.
QString OpenFailureHint(OpenFailure failure, bool serial);
// A failed result: error = "<where>: <reason>".
OpenResult OpenFailed(const QString& where, OpenFailure failure, const QString& systemText);

// TCP: resolves `host` (an address or a name) and connects, together bounded
// at limits.connectTimeoutMs; the low-delay option is set. Must be called on
// the thread that will use the transport.
OpenResult OpenTcp(const QString& host, quint16 port, const StopToken& stop, const LinkLimits& limits = {});

// Serial: "COMn" at 38400 baud, 8 data bits, no parity, 1 stop bit, no
// handshaking. Input that waits in the port from before is dropped.
OpenResult OpenSerial(int comNumber, const StopToken& stop, const LinkLimits& limits = {});

// The device that "COMn" names on this platform: on Windows "COMn"; else
// $QUILLMETER_COM<n> when set, otherwise /dev/ttyACM<n-1>.
QString SerialDeviceFor(int comNumber);

}  // namespace qm
