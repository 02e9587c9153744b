#pragma once
// Qt's own texts (the file dialog, OK / Cancel / Retry, the context menu of a
// text box) in the program's language, from Qt's catalogue
// qtbase_<language>.qm in Qt's translations folder
// (QLibraryInfo::TranslationsPath; the Windows package brings it in its
// translations folder, which qt.conf names).
#include <QString>

class QCoreApplication;

namespace qm {

// Installs the catalogue for `language` ("ja", "en"), replacing one installed
// before. Empty on success, else a message naming the catalogue that could
// not be loaded (Qt's texts then stay English). English is Qt's own
// language: its catalogue (plural forms only) may be missing without a
// message.
QString InstallQtTranslations(QCoreApplication& app, const QString& language);

}  // namespace qm
