#include "app/Console.h"

#include "engine/run/Session.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include "engine/text/WinApi.h"
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>

namespace qm {

Utf8Console::Utf8Console() {
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const UINT before = GetConsoleOutputCP();  // 0 without a console
    if (before != 0 && before != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) codePageBefore_ = before;
}

Utf8Console::~Utf8Console() {
    std::fflush(stdout);
    std::fflush(stderr);
    if (codePageBefore_) SetConsoleOutputCP(codePageBefore_);
}

void ReleaseOwnConsole() {
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
}

bool StderrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int StderrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

QStringList ProgramArguments(int, char**) {
    QStringList out;
    int n = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!list) return out;
    for (int i = 1; i < n; ++i) out << QString::fromWCharArray(list[i]);
    LocalFree(list);
    return out;
}

}  // namespace qm

#else

#include <sys/ioctl.h>
#include <unistd.h>

namespace qm {

Utf8Console::Utf8Console() {}
Utf8Console::~Utf8Console() {}
void ReleaseOwnConsole() {}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

int StderrColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

QStringList ProgramArguments(int argc, char** argv) {
    QStringList out;
    for (int i = 1; i < argc; ++i) out << QString::fromLocal8Bit(argv[i]);
    return out;
}

}  // namespace qm

#endif

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Console)
};
}  // namespace

namespace qm {

void EndSessionOrExit(Session& session, int code) {
    if (session.shutdown()) return;
    const QString text = Texts::tr("測定のスレッドが終わりません (%1)。待たずに終了します").arg(session.shutdownProblem());
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    std::fflush(nullptr);
    std::_Exit(code == 0 ? 2 : code);
}

}  // namespace qm
