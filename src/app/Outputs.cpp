#include "app/Outputs.h"

#include "engine/run/Session.h"

#include <QCoreApplication>
#include <cstdio>

#include "app/MqttSetup.h"
#if defined(QM_MQTT)
#include "engine/mqtt/MqttSink.h"
#else
namespace qm {
class MqttSink : public RunSink {};  // this build has no MQTT
}  // namespace qm
#endif

namespace qm {

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Outputs)
};
}  // namespace

Outputs::Outputs() = default;
// The server goes first: its metrics read the MQTT output's queue.
Outputs::~Outputs() { web.stop(); }

void Outputs::attach(Session& session, const AppOptions& options, const QString& dataFolder, bool sayAddress) {
    session.addSink(&screenFiles);
    session.addSink(&waveFiles);
    session.addSink(&logFile);
    session.addSink(&events);
#if defined(QM_MQTT)
    // What the MQTT output says goes to the window's status line (from the
    // GUI thread) or, headless, to stderr; at the end too, once the event
    // loop is no longer run.
    const auto say = [this, headless = sayAddress](const QString& text) {
        if (headless || finishing || !QCoreApplication::instance()) {
            std::fprintf(stderr, "%s\n", text.toUtf8().constData());
            return;
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, text] {
                if (showStatus) showStatus(text);
                else std::fprintf(stderr, "%s\n", text.toUtf8().constData());
            },
            Qt::QueuedConnection);
    };
    QString mqttError;
    mqtt = qm::MakeMqttSink(options, dataFolder, &mqttError);
    if (mqtt) {
        mqtt->setReporter(say);
        mqttError = mqtt->start();
        if (mqttError.isEmpty()) session.addSink(mqtt.get());
        else mqtt.reset();
    }
    if (!mqttError.isEmpty()) say(mqttError);
#endif
    if (!options.serve) return;
    // The metrics name the bench as the MQTT topics do.
    web.setStation(qm::StationName(options, dataFolder));
#if defined(QM_MQTT)
    if (mqtt) {
        web.setQueueGauges([m = mqtt.get()] {
            const qm::MqttCounters c = m->counters();
            return WebFeed::QueueGauges{c.queued, c.oldestUnsentSeconds};
        });
    }
#endif
    if (const QString error = web.start(options.web); !error.isEmpty()) {
        webError = QStringLiteral("--serve: ") + error;
        std::fprintf(stderr, "%s\n", webError.toUtf8().constData());
        return;
    }
    web.setDataFolder(dataFolder);
    web.watch(&session.live());
    session.addSink(&web);
    if (!sayAddress) return;
    std::fprintf(stdout, "%s\n", Texts::tr("ウェブ表示: %1").arg(web.url()).toUtf8().constData());
    std::fflush(stdout);
}

void Outputs::finish() {
    // The event loop has ended: what is said from now on goes to stderr, and
    // what was posted to the loop since it ended comes out now.
    finishing = true;
    if (QCoreApplication::instance()) QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
#if defined(QM_MQTT)
    if (mqtt) mqtt->finish(FinishMs);
    // (The publisher is gone: nothing can be posted after this.)
    if (QCoreApplication::instance()) QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
#endif
    if (!web.running()) return;
    web.finishStreams(FinishMs);
    web.stop();
}

}  // namespace qm
