#include "app/Language.h"

#include "engine/settings/DataFolder.h"
#include "engine/settings/ProgramSettings.h"
#include "view/QtTranslations.h"

#include <QCoreApplication>
#include <QTranslator>

namespace qm {

namespace {
// The program's catalogue installed here, found again by its name.
const QString kCatalogueName = QStringLiteral("quillmeterTranslator");
}  // namespace

bool IsProgramLanguage(const QString& code) {
    return code == QLatin1String("ja") || code == QLatin1String("en");
}

QString LanguageOfStart(const QStringList& args) {
    QString given, dataDir;
    for (int i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--lang")) given = args[i + 1];
        else if (args[i] == QLatin1String("--data-dir")) dataDir = args[i + 1];
    }
    if (IsProgramLanguage(given)) return given;
    const QString saved = LoadProgramSettings(dataDir.isEmpty() ? DefaultDataDir() : dataDir).language;
    return IsProgramLanguage(saved) ? saved : QStringLiteral("ja");
}

QString InstallLanguage(QCoreApplication& app, const QString& language, bool qtTexts) {
    if (auto* installed = app.findChild<QTranslator*>(kCatalogueName, Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    QString error;
    auto* catalogue = new QTranslator(&app);
    catalogue->setObjectName(kCatalogueName);
    const QString file = QStringLiteral(":/i18n/quillmeter_%1.qm").arg(language);
    if (catalogue->load(file)) {
        QCoreApplication::installTranslator(catalogue);
    } else {
        delete catalogue;
        error = QStringLiteral("Quillmeter: cannot load the catalogue %1").arg(file);
    }
    if (!qtTexts) return error;
    if (const QString qt = InstallQtTranslations(app, language); !qt.isEmpty())
        error += (error.isEmpty() ? QString() : QStringLiteral("\n")) + qt;
    return error;
}

}  // namespace qm
