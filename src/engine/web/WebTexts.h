#pragma once
// The web page's own texts (captions, states, table heads) in the program's
// language, from the program's catalogue: the page fills in its labels from
// them.
#include <QByteArray>

namespace qm {

// {"lang":"ja","cycle":"サイクル",...}: every text the page shows by a key
// of its own, and the page's language code.
QByteArray WebTextsJson();

}  // namespace qm
