// Quillmeter: logs an oscilloscope's automatic measurements over many
// repetitions.
#include "app/AppOptions.h"
#include "app/MainForm.h"

#include <QApplication>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_sigFd[2] = {-1, -1};
void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto r = ::write(g_sigFd[0], &c, 1);
}
}  // namespace
#endif

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmeter"));
    QStringList args = QApplication::arguments();
    args.removeFirst();
    QString error;
    const auto options = ParseAppOptions(args, &error);
    if (!options) {
        std::fprintf(error.isEmpty() ? stdout : stderr, "%s%s", error.isEmpty() ? "" : (error + "\n").toUtf8().constData(),
                     AppUsage().toUtf8().constData());
        return error.isEmpty() ? 0 : 64;
    }
    QApplication::setQuitOnLastWindowClosed(false);

    auto* form = new MainForm(*options);
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    form->show();

#ifdef Q_OS_UNIX
    // SIGINT/SIGTERM: the first presses the stop button during a run (or
    // closes the window when idle), the second closes the window.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_sigFd) == 0) {
        auto* notifier = new QSocketNotifier(g_sigFd[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, form, [form] {
            char c;
            [[maybe_unused]] auto r = ::read(g_sigFd[1], &c, 1);
            static int presses = 0;
            if (++presses == 1 && form->RunActive()) {
                if (form->StopAcqusition->isEnabled()) form->StopAcqusition_Click();
            } else {
                form->close();
            }
        });
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
    }
#endif

    if (options->exitAfterRun)
        QObject::connect(form, &MainForm::RunFinished, form, [form](RunOutcome) {
            QTimer::singleShot(0, form, [form] { form->close(); });
        });
    if (options->autostart)
        QTimer::singleShot(0, form, [form, o = *options] {
            if (o.transferOnly) form->TransOnly_Click();
            else form->WaveTransfer_Click();
        });

    const int code = app.exec();
    delete form;
    return code;
}
