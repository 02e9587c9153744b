#pragma once
// The logging step of a cycle: read A to D, show them in the log window and
// append the line to the log CSV file.
#include <QString>

class MainForm;
struct Link;

// Returns the letters of the slots whose answer was not a number ("" when
// all four gave a value). Raises nothing for a file problem: that is
// reported through the form and the run goes on.
QString LogMeasurementCycle(MainForm& f, Link& link);

// The first item of a measurement answer as a value; NoValue when it is not
// a number.
double MeasValue(const QString& reply);
