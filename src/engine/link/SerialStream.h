#pragma once
// What both serial transports share (QSerialPort on Linux, the Win32 comm API
// on Windows): the serial answer rules and the naming of "COMn" devices.
//
// Answer lines: the time-out bounds the silence before each next piece; a
// read ends once a LF came, or once kSerialLineLimit bytes were counted. The
// answer is the text up to the first LF, and what came after it is dropped
// (`overlong` when it holds more than line ends). An answer whose LF lies
// beyond kSerialLineLimit bytes is over-long: the line is its first
// kSerialLineLimit bytes, and the rest is read and dropped up to its LF,
// within the time-out counted from there and at most
// LinkLimits::overlongDropMax bytes; past either, the link is resynchronised
// (StreamTransport::resynchronise). A block's nominal rate is baud / 10 bytes
// a second.
#include "engine/link/LinkLimits.h"
#include "engine/link/StreamTransport.h"

namespace qm {

inline constexpr int kSerialBaud = 38400;

// The device that "COMn" names: on Windows "\\.\COMn" (the form that also
// opens COM10 and above); elsewhere `override` when not empty (the
// $QUILLMETER_COM<n> variable), else /dev/ttyACM<n-1>.
QString SerialDevicePath(int comNumber, bool windows, const QString& override);

// "COM2 (/dev/ttyACM1)", or "COM2" where the device is the port itself.
QString SerialLinkName(int comNumber, const QString& device);

// Checks made before a port is opened: a stop that came first, a number
// that names no port. The result's error is empty when the port may be opened.
OpenResult SerialOpenRefusal(int comNumber, const StopToken& stop);

class SerialStream : public StreamTransport {
public:
    QString describe() const override { return name_; }
    LineResult readLine(int32_t maxBytes, double timeoutSeconds, const StopToken& stop) override;

protected:
    SerialStream(QString name, const LinkLimits& limits) : StreamTransport(limits), name_(std::move(name)) {}
    double nominalBytesPerSecond() const override { return kSerialBaud / 10.0; }
    bool keepsTail() const override { return false; }

    QString name_;
};

}  // namespace qm
