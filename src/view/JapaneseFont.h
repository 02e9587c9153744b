#pragma once
// Japanese captions are drawn with a Japanese font of the system when there is one.
#include <QString>
#include <QStringList>

class QApplication;

namespace qm {

// The first family of a preference list that is among the available ones
// (QFontDatabase::families()), in the spelling of that list. A family matches
// without regard to case, as the font database matches, and also when the
// list adds the foundry (" [GOOG]"). Empty when none is present.
QString PickFamily(const QStringList& preferred, const QStringList& available);

// The families preferred for Japanese captions on this build's system: the
// Japanese UI Gothic fonts of Windows, elsewhere Noto Sans CJK JP.
QStringList JapaneseUiFamilies();

// Sets the application's font family to the first of JapaneseUiFamilies()
// that the system has, keeping the size; leaves the font alone when it has none.
void UseJapaneseUiFont(QApplication& app);

}  // namespace qm
