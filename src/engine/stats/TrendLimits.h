#pragma once
// The trend's limits live in their own settings file, <data folder>/Trend.ini
// (INI format, group [Limits], keys A_Lower, A_Upper, ... D_Upper holding the
// number as text; a missing or empty key is "no limit").
#include "engine/stats/TrendLog.h"

#include <QString>

namespace qm {

QString TrendSettingsPath(const QString& dataFolder);
// Limits that cannot be read (no file, no key, not a number) are "none".
LimitArray LoadTrendLimits(const QString& dataFolder);
// Returns an error text naming the file, or an empty one.
QString SaveTrendLimits(const QString& dataFolder, const LimitArray& limits);

}  // namespace qm
