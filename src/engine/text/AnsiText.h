#pragma once
// Text files of the program are written in the Japanese ANSI code page
// (Shift-JIS, code page 932) with CR LF lines.
#include <QByteArray>
#include <QString>

namespace qm {
QByteArray ToAnsi(const QString& text);
QString FromAnsi(const QByteArray& bytes);
// Path separator of the platform for paths the run builds: "\" on Windows,
// "/" elsewhere.
QString PathSep();
}  // namespace qm
