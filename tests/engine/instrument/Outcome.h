#pragma once
// Runs engine calls on the worker thread of a SimInstrumentLink and tells how
// they ended: empty when they returned, else the failure's kind and text.
#include "engine/text/Errors.h"
#include "support/SimLink.h"

using namespace qm;

inline QString Outcome(SimInstrumentLink& dev, const std::function<void(Instrument&)>& f) {
    QString out;
    dev.with([&](Instrument& i) {
        try {
            f(i);
        } catch (const LinkError& e) {
            out = QStringLiteral("LinkError: ") + e.text;
        } catch (const QuillError& e) {
            out = QStringLiteral("QuillError: ") + e.text;
        } catch (const RunInterrupted& e) {
            out = e.aborted ? QStringLiteral("RunInterrupted: abort") : QStringLiteral("RunInterrupted: stop");
        }
    });
    return out;
}

// The configuration snapshot the instrument gives; what it received is cleared.
inline InstrumentConfig Snapshot(SimInstrumentLink& dev) {
    InstrumentConfig cfg;
    dev.with([&](Instrument& i) { i.readConfig(cfg, false); });
    dev.sim.clearReceived();
    return cfg;
}
