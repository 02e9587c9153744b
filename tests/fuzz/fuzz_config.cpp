// libFuzzer target: the configuration snapshot and the measurement items read
// from the instrument's answers. A fake link answers every query with the
// next line of the input (cut at the read's limit, as the TCP link does);
// once the input is used up the instrument is silent. The snapshot either
// makes a configuration or ends with a message; it never crashes.
#include "engine/instrument/Instrument.h"
#include "engine/link/StreamTransport.h"
#include "engine/text/Errors.h"
#include "engine/text/NumText.h"

#include <QByteArray>
#include <cstdint>
#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace qm;

namespace {

class AnsweringLink final : public qm::Transport {
public:
    explicit AnsweringLink(QByteArray answers) : answers_(std::move(answers)) {}

    QString describe() const override { return QStringLiteral("fuzz"); }
    qm::WriteResult write(const QByteArray& bytes, const qm::StopToken&) override {
        // Every command is one line, sent as written.
        if (bytes.isEmpty() || !bytes.endsWith('\n') || bytes.count('\n') != 1) std::abort();
        return {};
    }
    qm::LineResult readLine(int32_t maxBytes, double, const qm::StopToken&) override {
        qm::LineResult r;
        if (next_ >= answers_.size()) {
            r.status = qm::IoStatus::TimedOut;
            return r;
        }
        qsizetype end = answers_.indexOf('\n', next_);
        if (end < 0) end = answers_.size();
        const QByteArrayView answer = QByteArrayView(answers_).sliced(next_, end - next_);
        next_ = end + 1;
        const qsizetype limit = std::max<int32_t>(maxBytes, 1);
        r.overlong = answer.size() > limit;
        r.line = qm::CutLine(answer.first(std::min(limit, answer.size())));
        return r;
    }
    qm::BlockResult readBlock(int32_t, const qm::StopToken&) override {
        qm::BlockResult b;
        b.status = qm::IoStatus::Failed;
        b.error = QStringLiteral("no block");
        return b;
    }
    void drain(const qm::StopToken&) override {}
    bool lost() const override { return false; }
    void close(int) override {}

private:
    QByteArray answers_;
    qsizetype next_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool invCheckOn = data[0] & 1;
    AnsweringLink link(QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
    qm::StopToken stop;
    Instrument inst(link, stop);
    InstrumentConfig config;
    try {
        inst.readConfig(config, invCheckOn);
        // What the run relies on once the snapshot is made.
        if (config.channelCount < 2 || config.channelCount > 4) std::abort();  // the model name's seventh character
        if (config.recordLength <= 0 || config.timeDiv == 0 || !std::isfinite(config.timeDiv)) std::abort();
        (void)ModelNumber(config.modelName);
        MeasItemArray items;
        for (const char* slot : {"A", "B", "C", "D"})
            inst.queryMeasItem(config, QLatin1String(slot), items[size_t(*slot - 'A')]);
        (void)inst.measurementValues();
    } catch (const QuillError&) {
    } catch (const qm::NumberOverflow&) {
    }
    return 0;
}
