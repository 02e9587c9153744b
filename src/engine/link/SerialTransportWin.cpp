// The serial transport on Windows, over the Win32 comm API: the port is opened
// with CreateFile on "\\.\COMn" (synchronous handle), set to 38400 8N1 without
// handshaking, and read with comm time-outs that make ReadFile return as soon
// as any byte is there, or after the slice's wait with nothing. Writes go out
// in short timed pieces, so every wait sees the stop token within a slice.
#include "engine/link/SerialStream.h"
#include <QCoreApplication>

#ifdef _WIN32

#include "engine/link/WindowsError.h"

#include "engine/text/WinApi.h"

#include <algorithm>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(SerialTransportWin)
};
}  // namespace

namespace qm {

namespace {
using Ms = std::chrono::milliseconds;

constexpr DWORD kReadChunk = 64 * 1024;  // the most one ReadFile takes
constexpr DWORD kInQueue = 64 * 1024;    // driver queue sizes asked for
constexpr DWORD kOutQueue = 4 * 1024;

qint64 MsUntil(SteadyClock::time_point t) { return std::chrono::ceil<Ms>(t - SteadyClock::now()).count(); }

class WinSerialTransport final : public SerialStream {
public:
    WinSerialTransport(HANDLE port, QString name, const LinkLimits& limits)
        : SerialStream(std::move(name), limits), port_(port) {}
    ~WinSerialTransport() override { closeHandle(); }

    WriteResult write(const QByteArray& bytes, const StopToken& stop) override;
    void close(int flushMs) override;

protected:
    Pull pull(QByteArray& dst, qint64 max, int waitMs) override;

private:
    // Sets the read time-out for the next ReadFile: 0 returns at once with what
    // waits; n > 0 waits up to n ms for the first byte, then returns at once.
    bool setReadWait(DWORD ms);
    // Bytes waiting in the driver's output queue, or -1 when the port failed.
    qint64 outputQueued();
    bool fail(DWORD code);
    void closeHandle();

    HANDLE port_;
    DWORD readWait_ = 0;  // OpenSerial leaves reads returning at once
};

bool WinSerialTransport::fail(DWORD code) {
    markLost(WindowsErrorText(code));
    return false;
}

void WinSerialTransport::closeHandle() {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
}

bool WinSerialTransport::setReadWait(DWORD ms) {
    if (ms == readWait_) return true;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = ms ? MAXDWORD : 0;
    t.ReadTotalTimeoutConstant = ms;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = kStopSliceMs;
    if (!SetCommTimeouts(port_, &t)) return fail(GetLastError());
    readWait_ = ms;
    return true;
}

qint64 WinSerialTransport::outputQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_, &errors, &status)) {
        fail(GetLastError());
        return -1;
    }
    return status.cbOutQue;
}

StreamTransport::Pull WinSerialTransport::pull(QByteArray& dst, qint64 max, int waitMs) {
    if (lost_ || port_ == INVALID_HANDLE_VALUE) return Pull::Lost;
    if (max <= 0) return Pull::Quiet;
    if (!setReadWait(DWORD(std::max(waitMs, 0)))) return Pull::Lost;
    const DWORD want = DWORD(std::min<qint64>(max, kReadChunk));
    const qsizetype had = dst.size();
    dst.resize(had + want);
    DWORD got = 0;
    const BOOL ok = ReadFile(port_, dst.data() + had, want, &got, nullptr);
    const DWORD code = ok ? 0 : GetLastError();
    dst.resize(had + (ok ? qsizetype(got) : 0));
    if (!ok) {
        // A line error (framing, overrun) ends only this read; a port that
        // went away (unplugged USB adapter) ends the link.
        if (code == ERROR_OPERATION_ABORTED) {
            DWORD errors = 0;
            if (ClearCommError(port_, &errors, nullptr)) return Pull::Quiet;
        }
        fail(code);
        return Pull::Lost;
    }
    return got ? Pull::Data : Pull::Quiet;
}

WriteResult WinSerialTransport::write(const QByteArray& bytes, const StopToken& stop) {
    if (lost_ || port_ == INVALID_HANDLE_VALUE) return lostWrite();
    const auto start = SteadyClock::now();
    const auto until = start + Ms(limits_.sendTimeoutMs);
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        // Each WriteFile ends after kStopSliceMs at most, with what went out.
        DWORD wrote = 0;
        const DWORD piece = DWORD(std::min<qsizetype>(bytes.size() - sent, kOutQueue));
        if (!WriteFile(port_, bytes.constData() + sent, piece, &wrote, nullptr)) {
            const DWORD code = GetLastError();
            if (code != ERROR_TIMEOUT && code != ERROR_SEM_TIMEOUT) {
                fail(code);
                return lostWrite();
            }
        }
        sent += qsizetype(wrote);
        if (sent >= bytes.size()) break;
        if (stop.interrupts(start)) {
            WriteResult r;
            r.status = IoStatus::Stopped;
            return r;
        }
        if (MsUntil(until) <= 0) {
            markLost(Texts::tr("送信が %1 秒以上止まっています").arg(limits_.sendTimeoutMs / 1000.0));
            return lostWrite();
        }
    }
    return {};
}

void WinSerialTransport::close(int flushMs) {
    if (port_ != INVALID_HANDLE_VALUE && !lost_) {
        // Closing commands ("TRMD ...", "GTL") must leave before the port closes.
        const auto until = SteadyClock::now() + Ms(std::max(flushMs, 0));
        while (outputQueued() > 0 && MsUntil(until) > 0) Sleep(kStopSliceMs);
    }
    closeHandle();
    markLost(Texts::tr("ポートは閉じられています"));
}
}  // namespace

OpenResult OpenSerial(int comNumber, const StopToken& stop, const LinkLimits& limits) {
    OpenResult out = SerialOpenRefusal(comNumber, stop);
    if (!out.error.isEmpty()) return out;
    const QString device = SerialDeviceFor(comNumber);
    // Why the port did not open, from the system's error code: a port that
    // another program holds gives "access denied" on Windows.
    const auto failed = [&](DWORD code, HANDLE h) {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        OpenFailure failure = OpenFailure::Other;
        switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_UNIT:
        case ERROR_DEV_NOT_EXIST: failure = OpenFailure::PortMissing; break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY: failure = OpenFailure::PortBusy; break;
        default: break;
        }
        return OpenFailed(SerialLinkName(comNumber, device), failure, WindowsErrorText(code));
    };

    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(device.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failed(GetLastError(), h);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) return failed(GetLastError(), h);
    dcb.BaudRate = kSerialBaud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    // USB virtual serial ports of instruments send only while DTR is up.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(h, &dcb)) return failed(GetLastError(), h);
    SetupComm(h, kInQueue, kOutQueue);  // a hint; drivers may keep their own sizes

    // What waits in the port from before answers nothing this link asked.
    PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);

    // Reads return at once with what waits until a read asks to wait.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.WriteTotalTimeoutConstant = kStopSliceMs;
    if (!SetCommTimeouts(h, &t)) return failed(GetLastError(), h);

    out.transport = std::make_unique<WinSerialTransport>(h, SerialLinkName(comNumber, device), limits);
    return out;
}

}  // namespace qm

#endif  // _WIN32
