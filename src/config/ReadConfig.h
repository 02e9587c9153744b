#pragma once
// The configuration snapshot: once per run, after the link is open and before
// the first cycle, the instrument is asked for its model, record length,
// timebase, trigger, channel, math and invert settings, and the answers are
// stored in the configuration record.
#include "engine/instrument/InstrumentConfig.h"
#include "link/CommandLink.h"

// Fills DsoConfig from the instrument's answers. invCheckOn is the state of
// the "INVなし" check box (true when ticked): when ticked, or on a model
// numbered 400 or below, the invert states are not asked and stay "OFF".
// Fields the snapshot does not reach keep their earlier values.
//
// Raises QuillError (message in Japanese, quoting the answer) when the
// record cannot be computed: no "DS" in the model item of "DTINF?", a channel
// count other than 2 to 4, a record length of 0 or below, a time base of 0, or
// a number too large for its field. The check is made as soon as the value is
// known, before it is stored or divided by; nothing after it is asked.
// LinkError and AppClosing from the link pass through unchanged.
void ReadInstrumentConfig(Link& link, InstrumentConfig& DsoConfig, bool invCheckOn);
