#pragma once
// The language the program speaks: Japanese (the default) or English. Every
// text a user reads comes from the program's catalogue for it
// (translations/quillmeter_<language>.ts, built in as :/i18n/quillmeter_<language>.qm),
// Qt's own texts from Qt's catalogue. What is data (the log files, file
// names, the resume file, the commands) is the same in every language.
#include <QString>
#include <QStringList>

class QCoreApplication;

namespace qm {

// "ja" or "en".
bool IsProgramLanguage(const QString& code);
// The language of this start: --lang (the last one given, when it is a
// language), else the choice saved in Quillmeter.ini of the data folder
// (--data-dir or the default one), else "ja". Reads the arguments as given,
// before they are checked, so that --help and usage errors speak it too.
QString LanguageOfStart(const QStringList& args);
// Installs the program's catalogue for `language` on `app` (an application
// object must exist) and, for the window (`qtTexts`), Qt's own for its
// dialogs; the command-line paths show none of Qt's texts and so do not ask
// for that catalogue. Empty on success, else a message naming the catalogue
// that could not be loaded.
QString InstallLanguage(QCoreApplication& app, const QString& language, bool qtTexts);

}  // namespace qm
