#pragma once
// The measurement run: runs on the session's worker thread, from the
// connection to the closing commands, and reports through the sinks.
#include "engine/model/InstrumentConfig.h"
#include "engine/model/RunSink.h"
#include "engine/model/WaveData.h"

#include <QString>
#include <atomic>
#include <memory>
#include <vector>

namespace qm {

class LiveSettings;
class Questions;
struct RunRequest;

class StopToken;
class Transport;
class HostLookups;

// What lives between runs on the worker thread.
struct SessionState {
    std::unique_ptr<Transport> link;  // open after the first successful connection
    InstrumentConfig config;
    MeasItemArray measItems;
    WaveArrays waveData;
    int32_t wavePoints = 0;
    std::atomic<int32_t>* cycleNo = nullptr;  // the session's counter
    HostLookups* lookups = nullptr;            // the session's host name lookups
};

// Calls every sink in order; collects the file outputs' failures.
class SinkList {
public:
    explicit SinkList(std::vector<RunSink*> sinks) : sinks_(std::move(sinks)) {}
    template <typename F>
    void each(F&& f) {
        for (RunSink* s : sinks_) f(*s);
    }
    // The first failure of a file output (ok when every sink succeeded); a
    // failure that ends the run comes before any other.
    template <typename F>
    FileResult output(F&& f) {
        FileResult first;
        for (RunSink* s : sinks_) {
            const FileResult r = f(*s);
            if (!r.ok() && (first.ok() || (r.endsRun && !first.endsRun))) first = r;
        }
        return first;
    }

private:
    std::vector<RunSink*> sinks_;
};

// Runs one measurement run and returns how it ended. Never throws.
RunEndInfo RunMeasurement(SessionState& state, const RunRequest& request, LiveSettings& live, Questions& questions,
                          SinkList& sinks, const StopToken& stop);

// The repeat count from its text: the leading number, nearest integer. More
// than 10000 gives 10000 (and *limited is set). No lower bound.
int32_t RepeatCountFrom(const QString& text, bool* limited);
// The first item of a measurement answer as a value; NoValue when it is not a number.
double MeasValue(const QString& reply);

}  // namespace qm
