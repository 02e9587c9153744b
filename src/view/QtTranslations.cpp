#include "view/QtTranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(QtTranslations)
};
}  // namespace

namespace qm {

namespace {
// The catalogue installed here, found again by its name among the
// application's children.
const QString kTranslatorName = QStringLiteral("qtbaseTranslator");
}  // namespace

QString InstallQtTranslations(QCoreApplication& app, const QString& language) {
    if (auto* installed = app.findChild<QTranslator*>(kTranslatorName, Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    if (language.isEmpty()) return {};
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&app);
    translator->setObjectName(kTranslatorName);
    if (!translator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        delete translator;
        if (language == QLatin1String("en")) return {};
        return Texts::tr("Qt の翻訳 %1 を読めません")
            .arg(QDir::toNativeSeparators(QDir(folder).filePath(QStringLiteral("qtbase_%1.qm").arg(language))));
    }
    QCoreApplication::installTranslator(translator);
    return {};
}

}  // namespace qm
