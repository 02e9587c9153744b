#include "view/FolderDialog.h"

#include "engine/text/Errors.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>

bool SplitFilePath(const QString& path, QString& folder, QString& name) {
    // Both separators count on every platform: the dialogs give "/" paths.
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar ch = path.at(i);
        if (ch == QLatin1Char('\\') || ch == QLatin1Char('/')) {
            folder = path.left(i);
            name = path.mid(i + 1);
            return true;
        }
    }
    return false;
}

QString ToQtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList choices;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        choices << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
    return choices.join(QStringLiteral(";;"));
}

SaveFileDialog::~SaveFileDialog() = default;

std::optional<QString> QtSaveFileDialog::Show(const FileDialogRequest& request) {
    QFileDialog dialog(parent_, request.title, QDir::fromNativeSeparators(request.initialFolder),
                       ToQtFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!request.initialName.isEmpty()) dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
    return files.first();
}

void SetFileFolder_Click(SaveFileDialog& dlg, QLineEdit& FFolder, QLineEdit& FHeadder, const QString& AppFolder,
                         const std::function<void(const QString&)>& setStatus) {
    try {
        const FileDialogRequest request{kFolderDialogTitle, FFolder.text(), FHeadder.text(), kFolderDialogFilter};
        const std::optional<QString> chosen = dlg.Show(request);
        if (!chosen) return;  // cancel: nothing changes, nothing is shown

        QDir::setCurrent(AppFolder);  // the dialog may have moved it

        // A path without any separator keeps the folder and is taken whole
        // as the name.
        const QString path = QDir::toNativeSeparators(*chosen);
        QString folder = FFolder.text();
        QString name = path;
        SplitFilePath(path, folder, name);
        FFolder.setText(folder);
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        FHeadder.setText(dot >= 0 ? name.left(dot) : name);
        if (setStatus) setStatus(kFolderChosenStatus);
    } catch (...) {
        // Any other failure ends the click silently.
    }
}
