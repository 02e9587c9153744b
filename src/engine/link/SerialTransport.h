#pragma once
// The serial transport over QSerialPort ("COMn", a USB virtual serial port).
// The port belongs to the thread that opened it; all waits are the port's own
// blocking waits (waitForReadyRead, waitForBytesWritten) in slices that see
// the stop token, so no event loop runs.
//
// Answer lines: the time-out bounds the silence before each next piece; a
// read ends at a LF at the end of what came, or once kSerialLineLimit bytes
// were counted; what came after the first line is dropped. When the limit
// was reached without any LF, the rest of that line is read and dropped up to
// its LF (`overlong`), within the time-out counted from there and at most
// LinkLimits::overlongDropMax bytes. A block's nominal rate is baud / 10
// bytes a second.
#include "engine/link/LinkLimits.h"
#include "engine/link/Transport.h"

namespace qm {

// OpenSerial (Transport.h) with other bounds.
OpenResult OpenSerial(int comNumber, const StopToken& stop, const LinkLimits& limits);

}  // namespace qm
