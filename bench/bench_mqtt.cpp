// What --mqtt costs a cycle: the time the run's worker spends in the sinks'
// cycleLogged for one logged cycle, with the log file only (no MQTT) and with
// the MQTT sink beside it while the broker is up (Debian's mosquitto on
// loopback, acknowledging), down (nothing listens: records pile up on disk),
// and accepting the login but never acknowledging. The four run in turns,
// 50 cycles at a time, 2 ms apart, so that the machine's drift falls on all
// alike; per-call medians and 99th percentiles, and ratios against no MQTT.
#include "engine/mqtt/MqttTestKit.h"
#include "engine/mqtt/MqttSink.h"
#include "engine/output/FileSinks.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace qm;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
double P99(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, v.size() * 99 / 100)];
}

struct Setup {
    explicit Setup(const char* n) : name(n) {}
    const char* name;
    std::unique_ptr<qm::MqttSink> mqtt;  // none: the log file alone
    LogCsvSink log;
    QString logFile;
    std::vector<double> us;      // both sinks' calls, per cycle
    std::vector<double> mqttUs;  // the MQTT sink's call alone
};

void BM_MqttCycleCost(benchmark::State& state) {
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("bench-mqtt-XXXXXX")));  // on the disk, not tmpfs
    qmtest::TestBroker broker(dir.filePath(QStringLiteral("broker")));
    if (!broker.start()) {
        state.SkipWithError("mosquitto does not start");
        return;
    }
    qmtest::FakeBroker silent(qmtest::FakeBroker::Mode::NeverAck);
    const quint16 closed = qmtest::FreePort();

    MeasItemArray items;
    for (auto& it : items) it = {QStringLiteral("C1"), QStringLiteral("MAX"), QStringLiteral("V")};
    const auto makeSink = [&](const char* tag, quint16 port) {
        qm::MqttOptions o;
        o.address.host = QStringLiteral("127.0.0.1");
        o.address.port = port;
        o.address.prefix = QStringLiteral("bench");
        o.station = QString::fromLatin1(tag);
        o.queueFolder = dir.filePath(QStringLiteral("queue-") + QLatin1String(tag));
        o.ackTimeoutMs = 3600 * 1000;  // a silent broker keeps the connection: records pile up behind it
        auto s = std::make_unique<qm::MqttSink>(o);
        s->start();
        return s;
    };
    std::array<Setup, 4> setups{Setup("none"), Setup("up"), Setup("down"), Setup("never_ack")};
    setups[1].mqtt = makeSink("up", broker.port());
    setups[2].mqtt = makeSink("down", closed);
    setups[3].mqtt = makeSink("silent", silent.port());
    RunStartInfo info;
    info.started = QDateTime::currentDateTime();
    for (Setup& s : setups) {
        s.logFile = dir.filePath(QStringLiteral("%1_AM_LOG.csv").arg(QLatin1String(s.name)));
        s.log.measItemsRead(items);
        if (s.mqtt) {
            s.mqtt->runStarted(info);
            s.mqtt->measItemsRead(items);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // connected (or tried)

    const std::array<double, 4> v{1.25e-3, 3.0, 49.7, 1.2e-3};
    int cycle = 0;
    constexpr int kPerTurn = 50;
    for (auto _ : state) {
        for (Setup& s : setups) {
            for (int i = 0; i < kPerTurn; ++i) {
                const CycleRecord r = MakeCycleRecord(++cycle, v, QDateTime::currentDateTime());
                const auto t0 = std::chrono::steady_clock::now();
                s.log.cycleLogged(r, s.logFile);
                const auto t1 = std::chrono::steady_clock::now();
                if (s.mqtt) s.mqtt->cycleLogged(r, s.logFile);
                const auto t2 = std::chrono::steady_clock::now();
                s.us.push_back(std::chrono::duration<double, std::micro>(t2 - t0).count());
                if (s.mqtt) s.mqttUs.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
    }
    const double base = Median(setups[0].us);
    state.counters["none_us"] = base;
    for (size_t i = 1; i < setups.size(); ++i) {
        const std::string n = setups[i].name;
        state.counters[n + "_us"] = Median(setups[i].us);
        state.counters[n + "_p99_us"] = P99(setups[i].us);
        state.counters[n + "_mqtt_us"] = Median(setups[i].mqttUs);
        state.counters[n + "_ratio"] = Median(setups[i].us) / base;
    }
    state.counters["none_p99_us"] = P99(setups[0].us);
    state.counters["up_published"] = double(setups[1].mqtt->counters().published);
    state.counters["down_queued"] = double(setups[2].mqtt->counters().queued);
    state.counters["never_ack_queued"] = double(setups[3].mqtt->counters().queued);
    for (Setup& s : setups)
        if (s.mqtt) s.mqtt->finish(0);
}
BENCHMARK(BM_MqttCycleCost)->Iterations(40)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
