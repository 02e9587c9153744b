#pragma once
// Binary blocks from the instrument: "#", a digit N (8), N length digits,
// the data and a terminator byte (LF).
#include <QByteArray>
#include <cstdint>

class CommPort;
class SockControl;

// Longest silence while a block is incomplete before the read fails.
inline constexpr int kBlockSilenceMs = 10000;
// Largest blocks the callers accept.
inline constexpr int32_t kScreenBlockLimit = 1000001;
inline constexpr int32_t kWaveBlockLimit = 10000021;

// Serial block read: returns n (the announced length) with the n data bytes
// in bd (bd is resized to n). Returns 0 with bd untouched when the port is not
// open. Raises LinkError for a header that is not a number, a length above
// `limit`, or silence longer than kBlockSilenceMs before the block (and its
// terminator) arrived. After such a failure on a link that is still up, the
// rest of the spoiled block is read and dropped (until the line is quiet), so
// it cannot become the answer to the next query.
int32_t ReadBinFromComm(CommPort& MSComm1, QByteArray& bd, int32_t limit = kWaveBlockLimit);
int32_t GetVBinWaveRS(CommPort& MSComm1, QByteArray& bd, int32_t limit = kWaveBlockLimit);

// TCP block read on dso, with the same checks; bd receives the n data bytes
// (the terminator is read and dropped).
int32_t ReadBlockTcp(SockControl& dso, QByteArray& bd, int32_t limit);
