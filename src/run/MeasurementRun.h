#pragma once
// The measurement run: the start button's procedure.
class MainForm;

// Runs the whole measurement run (normal mode, or transfer-only mode when
// the form's TransOnly button is disabled) and returns when it has ended.
void RunMeasurement(MainForm& f);
