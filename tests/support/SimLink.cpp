#include "support/SimLink.h"

#include "engine/link/SerialStream.h"
#include "engine/link/TcpTransport.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QMetaObject>
#include <atomic>

using namespace qm;

WorkerThread::WorkerThread() : context_(new QObject) {
    context_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_.start();
}

WorkerThread::~WorkerThread() {
    thread_.quit();
    thread_.wait();
}

void WorkerThread::call(const std::function<void()>& f) {
    std::atomic<bool> done{false};
    QMetaObject::invokeMethod(context_, [&] {
        f();
        done = true;
    }, Qt::QueuedConnection);
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

SimInstrumentLink::~SimInstrumentLink() {
    worker.call([this] {
        inst.reset();
        if (link) link->close(0);
        link.reset();
    });
}

bool SimInstrumentLink::startTcp(const qm::LinkLimits& limits) {
    if (!server.listen(QHostAddress::LocalHost, 0)) return false;
    const quint16 port = server.port();
    worker.call([&] {
        qm::OpenResult r = qm::OpenTcp(QStringLiteral("127.0.0.1"), port, stop, qm::TcpOptions{limits, {}});
        link = std::move(r.transport);
        if (link) inst = std::make_unique<Instrument>(*link, stop);
    });
    return inst != nullptr;
}

bool SimInstrumentLink::startSerial(int comNumber, const qm::LinkLimits& limits) {
    if (!pty.open()) return false;
    qputenv(QStringLiteral("QUILLMETER_COM%1").arg(comNumber).toLatin1().constData(), pty.slavePath().toLocal8Bit());
    worker.call([&] {
        qm::OpenResult r = qm::OpenSerial(comNumber, stop, limits);
        link = std::move(r.transport);
        if (link) inst = std::make_unique<Instrument>(*link, stop);
    });
    return inst != nullptr;
}

bool ScriptedQuestions::askOkCancel(const QString& text, const qm::StopToken& stop) {
    std::lock_guard lock(mutex_);
    questions_ << ConfirmTitle() + QLatin1Char('|') + text;
    if (stop.stopRequested()) return false;  // a stop closes the box as Cancel
    if (answers.empty()) return true;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

bool ScriptedQuestions::askRetryConnect(const QString& text, const qm::StopToken&) {
    bool again;
    {
        std::lock_guard lock(mutex_);
        failures_ << ConfirmTitle() + QLatin1Char('|') + text;
        again = std::exchange(retry, false);
    }
    if (again && beforeRetry) beforeRetry();
    return again;
}

void ScriptedQuestions::notify(const QString& text) {
    std::lock_guard lock(mutex_);
    failures_ << ConfirmTitle() + QLatin1Char('|') + text;
}

QStringList ScriptedQuestions::questions() const {
    std::lock_guard lock(mutex_);
    return questions_;
}

QStringList ScriptedQuestions::failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
}

QStringList From(const QStringList& all, const QString& from) {
    const qsizetype i = all.indexOf(from);
    return i < 0 ? QStringList() : all.mid(i);
}
