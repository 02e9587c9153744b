#include "view/FolderDialog.h"

#include "engine/settings/DataFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace qm {

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

namespace {
// Name, size, type, date modified: each at least as wide as its widest usual
// text (and its title); the name takes what is left of the view.
void FitColumns(QTreeView& tree) {
    QHeaderView* header = tree.header();
    const QFontMetrics fm(tree.font());
    const int pad = 2 * fm.averageCharWidth() + 16;
    const QString sample[] = {QString(), QStringLiteral("999.9 KiB"), QStringLiteral("CSV ファイル"),
                              QLocale().toString(QDateTime(QDate(2026, 12, 28), QTime(23, 59)), QLocale::ShortFormat)};
    int others = 0;
    for (int c = 1; c < std::min(header->count(), 4); ++c) {
        const QString title = tree.model() ? tree.model()->headerData(c, Qt::Horizontal).toString() : QString();
        // The rows already listed may hold longer texts than the sample (the
        // system's name of a file type, a date in another language).
        const int w = std::max({fm.horizontalAdvance(sample[c]), fm.horizontalAdvance(title),
                                static_cast<const QAbstractItemView&>(tree).sizeHintForColumn(c)}) + pad;
        header->resizeSection(c, w);
        others += w;
    }
    header->resizeSection(0, std::max(fm.horizontalAdvance(QLatin1Char('M')) * 16, tree.viewport()->width() - others));
}

// The side bar of places wide enough for its names ("コンピューター").
void FitSideBar(QFileDialog& dialog) {
    auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
    if (!splitter || splitter->count() != 2) return;
    QList<int> sizes = splitter->sizes();
    const int want = splitter->widget(0)->fontMetrics().horizontalAdvance(QStringLiteral("コンピューター")) + 48;
    const int total = sizes[0] + sizes[1];
    if (sizes[0] >= want || total < 3 * want) return;
    splitter->setSizes({want, total - want});
}
}  // namespace

void FitFileDialog(QFileDialog& dialog) {
    auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!tree) return;  // the system's dialog
    QSize size = dialog.size().expandedTo(QSize(FileDialogWidth, FileDialogHeight));
    const QScreen* screen = dialog.parentWidget() ? dialog.parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) size = size.boundedTo(screen->availableGeometry().size());
    dialog.resize(size);
    // The columns once the dialog is shown and laid out (the dialog's own
    // event loop runs this first).
    QTimer::singleShot(0, tree, [&dialog, tree] {
        FitSideBar(dialog);
        FitColumns(*tree);
    });
    // A folder is listed a little later, on a thread of the model's own.
    if (auto* files = qobject_cast<QFileSystemModel*>(tree->model())) {
        QObject::connect(files, &QFileSystemModel::rowsInserted, tree, [tree] { FitColumns(*tree); });
        QObject::connect(files, &QFileSystemModel::directoryLoaded, tree, [tree] { FitColumns(*tree); });
    }
}

SaveFileDialog::~SaveFileDialog() = default;

std::optional<QString> QtSaveFileDialog::choose(const FileDialogRequest& request) {
    QFileDialog dialog(parent_, request.title, QDir::fromNativeSeparators(request.initialFolder),
                       ToQtFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!request.initialName.isEmpty()) dialog.selectFile(request.initialName);
    FitFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
    return files.first();
}

std::optional<OutputChoice> ChooseOutputFile(SaveFileDialog& dialog, const QString& folder, const QString& header,
                                             const QString& dataFolder) {
    const FileDialogRequest request{FolderDialogTitle(), OutputFolderIn(dataFolder, folder), header, kFolderDialogFilter};
    const std::optional<QString> chosen = dialog.choose(request);
    if (!chosen) return std::nullopt;
    const QString path = QDir::toNativeSeparators(*chosen);
    OutputChoice choice{folder, path};
    SplitFilePath(path, choice.folder, choice.header);
    const qsizetype dot = choice.header.indexOf(QLatin1Char('.'));
    if (dot >= 0) choice.header.truncate(dot);
    return choice;
}

}  // namespace qm
