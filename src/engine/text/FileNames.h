#pragma once
// The output folder and the file-name header that every file of a run is
// named from (<folder>/<header>_AM_LOG.csv, <header>_00001.png ...), checked
// before a run starts wherever they came from: the resume file, the window or
// the command line.
//
// The header is one file-name part: no folder separators, no "..", and on
// every system nothing that Windows cannot hold in a file name (the reserved
// device names CON, PRN, AUX, NUL, COM1-9, LPT1-9 with or without an
// extension, any case; the characters < > : " / \ | ? *; control characters;
// a trailing dot or space), so that files made on Linux can be copied to a
// Windows PC. The folder may be any path; only what no system can use is
// refused: control characters everywhere, and on Windows the characters and
// names Windows cannot hold in a folder name (a drive's colon is fine).
#include "engine/text/HostSystem.h"

#include <QString>

namespace qm {

// The longest header: with "_AM_LOG.csv" (the longest suffix a run adds) the
// name still fits the 255 characters (UTF-16) of Windows and the 255 bytes
// (UTF-8) of Linux file systems.
inline constexpr int kHeaderMaxLength = 244;

// What is wrong with the header, as a short text; empty when it is usable.
QString HeaderProblem(const QString& header);
// What is wrong with the output folder on `system`; empty when it is usable.
QString FolderProblem(const QString& folder, HostSystem system = kThisSystem);

// The check a run makes before it starts: the message naming the refused
// value and what is wrong with it ("名称ヘッダ \"CON\" は使えません: ..."), or
// empty when both are usable.
QString OutputNameProblem(const QString& folder, const QString& header, HostSystem system = kThisSystem);

// A text as shown in a message: control characters escaped (NUL as \0, tab
// \t, others \xNN), so that nothing cuts or garbles the message; cut to
// `maxLength` characters with "…" when longer.
QString ShownText(const QString& text, qsizetype maxLength = 120);

}  // namespace qm
