#pragma once
// The output folder and the file-name header, taken from a file the user
// picks in a save dialog.
#include <QCoreApplication>
#include <QString>
#include <optional>

class QFileDialog;
class QWidget;

namespace qm {

// Dialog texts.
inline QString FolderDialogTitle() { return QCoreApplication::translate("FolderDialog", "画面格納ファイルの選択"); }
inline const QString kFolderDialogFilter = QStringLiteral("CSV|*.csv|png|*.png|*.*|*.*");
// Status text after a choice.
inline QString FolderChosenStatus() {
    return QCoreApplication::translate("FolderDialog", "画面フォルダとファイルヘッダーは上図に示します");
}

// Splits `path` at its last separator ("\" or "/"): the text before it goes
// to `folder`, the text after it to `name`; true. A path without a separator
// leaves both unchanged; false.
bool SplitFilePath(const QString& path, QString& folder, QString& name);

// "CSV|*.csv|png|*.png" (description|pattern pairs) to the dialog's
// "CSV (*.csv);;png (*.png)". A description without a pattern is dropped.
QString ToQtFilter(const QString& filter);

struct FileDialogRequest {
    QString title;
    QString initialFolder;
    QString initialName;
    QString filter;  // description|pattern pairs
};

// Sizes Qt's own file dialog (the one used where the system has none) so that
// its detail columns (name, size, type, date) show whole: a dialog of at least
// FileDialogSize (cut to the screen), the columns from their texts' widths.
// The system's dialog (Windows) sizes itself; this leaves it alone.
inline constexpr int FileDialogWidth = 860;
inline constexpr int FileDialogHeight = 500;
void FitFileDialog(QFileDialog& dialog);

// The save dialog: the chosen full path, or nullopt on cancel.
class SaveFileDialog {
public:
    virtual ~SaveFileDialog();
    virtual std::optional<QString> choose(const FileDialogRequest& request) = 0;
};

// The platform's save dialog. The chosen file is neither created nor opened,
// so choosing an existing file asks nothing.
class QtSaveFileDialog : public SaveFileDialog {
public:
    explicit QtSaveFileDialog(QWidget* parent = nullptr) : parent_(parent) {}
    std::optional<QString> choose(const FileDialogRequest& request) override;

private:
    QWidget* parent_;
};

// The output folder and the file-name header, as a chosen file gives them.
struct OutputChoice {
    QString folder;
    QString header;
};

// ファイル選択: shows the dialog at the output folder (a relative one lies in
// the data folder) with the header as the file's name; the chosen file gives
// its folder (a name without any separator keeps `folder`) and its name up to
// the first "." as the header. Nullopt on cancel.
std::optional<OutputChoice> ChooseOutputFile(SaveFileDialog& dialog, const QString& folder, const QString& header,
                                             const QString& dataFolder);

}  // namespace qm
