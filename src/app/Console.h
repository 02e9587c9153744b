#pragma once
// The program's console: its arguments and the text it prints.
#include <QStringList>

namespace qm {

class Session;

// While it lives, output on stdout and stderr is UTF-8 with LF line ends on
// every system. On Windows the streams are put in binary mode (no CR is added
// before LF) and a console shows UTF-8; its code page is set back when the
// object goes. Made first thing in main().
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    unsigned codePageBefore_ = 0;  // Windows: the console's code page to set back (0: none)
};

// The command-line arguments after the program's name. On Windows they are
// read as UTF-16 from the system (a path in any script survives); elsewhere
// argv is in the local 8-bit encoding.
QStringList ProgramArguments(int argc, char** argv);

// Windows: when the window starts from Explorer, the system made a console
// for this program alone; it is closed again (nothing is printed there).
// A console shared with a shell that started the program stays. No-op elsewhere.
void ReleaseOwnConsole();

// The session's threads end (bounded); when one does not (a file output or
// a host name lookup the system never returns from), the reason goes to
// stderr and the process ends at once with `code` (2 when it was 0), since
// that thread still uses the session.
void EndSessionOrExit(Session& session, int code);

// True when stderr is a terminal (a console on Windows), not a file or pipe.
bool StderrIsTerminal();
// The width of that terminal in columns; 0 when not known.
int StderrColumns();

}  // namespace qm
