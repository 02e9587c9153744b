#include "view/QtTranslations.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace qm {

QString InstallQtTranslations(QApplication& app, const QString& language) {
    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed.data();
    }
    if (language.isEmpty() || language == QLatin1String("en")) return {};
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        delete translator;
        return QStringLiteral("Qt の翻訳 %1 を読めません")
            .arg(QDir::toNativeSeparators(QDir(folder).filePath(QStringLiteral("qtbase_%1.qm").arg(language))));
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return {};
}

}  // namespace qm
