#include "app/ResumeFile.h"

#include "engine/text/AnsiText.h"
#include "engine/text/Errors.h"
#include "engine/text/NumText.h"
#include "common/VbCheckBox.h"
#include "link/CommandLink.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSaveFile>

#include <array>
#include <optional>

namespace {

// The labels in file order. Only written; reading goes by line position.
const QString kLabelIP = QStringLiteral("IPアドレス,");
const QString kLabelUsb = QStringLiteral("USBチェック,");
const QString kLabelCom = QStringLiteral("Comアドレス,");
const QString kLabelRound = QStringLiteral("回数,");
const QString kLabelInterval = QStringLiteral("インターバル,");
const QString kLabelFolder = QStringLiteral("フォルダ,");
const QString kLabelHeader = QStringLiteral("ファイルヘッダ,");
const QString kLabelWaveSave = QStringLiteral("csv波形格納チェック,");
const QString kLabelScreenDisp = QStringLiteral("DS画面表示チェック,");
const QString kLabelScreenSave = QStringLiteral("DS画面格納チェック,");
const QString kLabelInv = QStringLiteral("INVコマンドチェック,");
const QString kLabelManual = QStringLiteral("Mnual継続チェック,");

// A line longer than this is kept only in part: its first bytes already make
// more than the 32767 characters the comma splitter accepts, so the line
// splits into empty items exactly as the whole line would.
constexpr qsizetype kLineKeepBytes = 65536;

// The list index that the combo box's text stands for: -1 when the text
// (typed or chosen) is not one of the list's entries.
int ListIndexOf(const QComboBox& list) { return list.findText(list.currentText()); }

// A text value goes on one line: a line break inside it would shift every
// following line. The splitter drops CR and LF on reading, so dropping them
// here gives back exactly what a load would have read.
QString OneLine(QString text) {
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

// Reads the next line up to LF (CR LF or a lone LF). False at end of file.
bool ReadLine(QFile& f, QByteArray& line) {
    line.clear();
    if (f.atEnd()) return false;
    for (;;) {
        const QByteArray chunk = f.readLine(4096);
        if (chunk.isEmpty()) break;  // end of file or read failure
        if (line.size() < kLineKeepBytes) line += chunk.left(kLineKeepBytes - line.size());
        if (chunk.endsWith('\n')) break;
    }
    if (line.endsWith('\n')) line.chop(1);
    if (line.endsWith('\r')) line.chop(1);
    return true;
}

// Strict conversion of a number value to a 16-bit integer.
std::optional<int16_t> ResumeNumber(const QString& text) {
    const std::optional<double> v = qm::StrictNumber(text);
    if (!v) return std::nullopt;
    try {
        return qm::ToInt16(*v);
    } catch (const qm::NumberOverflow&) {
        return std::nullopt;
    }
}

bool ApplyCheck(VbCheckBox& box, const QString& text) {
    const std::optional<int16_t> v = ResumeNumber(text);
    return v && box.SetValue(*v);  // values outside 0..2 are refused
}

bool ApplyListIndex(QComboBox& list, const QString& text) {
    const std::optional<int16_t> v = ResumeNumber(text);
    if (!v || *v < -1 || *v >= list.count()) return false;
    list.setCurrentIndex(*v);
    // The edit field follows the index: no entry shows an empty field.
    if (list.isEditable()) list.setEditText(*v < 0 ? QString() : list.itemText(*v));
    return true;
}

}  // namespace

int16_t SaveResumeParam(const QString& filename, ResumeControls& c) {
    try {
        // A file marked read-only is not replaced.
        const QFileInfo existing(filename);
        if (existing.exists() && !existing.isWritable()) return -1;

        QByteArray out;
        const auto text = [&](const QString& label, const QString& value) {
            out += qm::ToAnsi(label + OneLine(value));
            out += "\r\n";
        };
        const auto number = [&](const QString& label, int value) {
            out += qm::ToAnsi(label + qm::PrintNumber(static_cast<int16_t>(value)));
            out += "\r\n";
        };
        text(kLabelIP, c.IPAdressText.text());
        number(kLabelUsb, c.IFCheck.Value());
        number(kLabelCom, ListIndexOf(c.ComList));
        text(kLabelRound, c.TRound.text());
        text(kLabelInterval, c.LoopInterval.text());
        text(kLabelFolder, c.FFolder.text());
        text(kLabelHeader, c.FHeadder.text());
        number(kLabelWaveSave, c.WaveSaveCheck.Value());
        number(kLabelScreenDisp, c.DSScreenDispCheck.Value());
        number(kLabelScreenSave, c.DSScreenSaveCheck.Value());
        number(kLabelInv, c.INVCheck.Value());
        number(kLabelManual, c.ManualCheck.Value());

        // Written beside the old file and renamed over it once complete and
        // flushed, so a failed save never leaves a truncated resume file.
        QSaveFile f(filename);
        if (!f.open(QIODevice::WriteOnly)) return -1;
        // The flush is checked here: a write cut short while the buffer is
        // emptied (disk full, file size limit) must not reach the commit,
        // which would otherwise put the truncated file in place.
        if (f.write(out) != out.size() || !f.flush() || f.error() != QFileDevice::NoError) {
            f.cancelWriting();
            return -1;
        }
        return f.commit() ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

int16_t LoadResumeParam(const QString& filename, ResumeControls& c) {
    enum class Kind { Text, Check, List };
    struct Target {
        Kind kind;
        QLineEdit* text;
        VbCheckBox* check;
        QComboBox* list;
    };
    const auto textLine = [](QLineEdit& e) { return Target{Kind::Text, &e, nullptr, nullptr}; };
    const auto checkLine = [](VbCheckBox& b) { return Target{Kind::Check, nullptr, &b, nullptr}; };
    const std::array<Target, 13> lines = {
        textLine(c.IPAdressText),
        checkLine(c.IFCheck),
        Target{Kind::List, nullptr, nullptr, &c.ComList},
        textLine(c.TRound),
        textLine(c.LoopInterval),
        textLine(c.FFolder),
        textLine(c.FHeadder),
        checkLine(c.WaveSaveCheck),
        checkLine(c.DSScreenDispCheck),
        checkLine(c.DSScreenSaveCheck),
        checkLine(c.INVCheck),
        checkLine(c.ManualCheck),
        checkLine(c.AMLogOn),  // only in a file that has a thirteenth line
    };

    try {
        QFile f(filename);
        if (!f.open(QIODevice::ReadOnly)) return -1;

        // One item array serves every line: a line without a comma leaves
        // item(1) as the previous line set it.
        std::array<QString, 4> item;
        QByteArray raw;
        for (const Target& t : lines) {
            if (!ReadLine(f, raw)) return -1;
            Get_Items(qm::FromAnsi(raw), item);
            const QString& value = item[1];
            bool ok = true;
            switch (t.kind) {
            case Kind::Text: t.text->setText(value); break;
            case Kind::Check: ok = ApplyCheck(*t.check, value); break;
            case Kind::List: ok = ApplyListIndex(*t.list, value); break;
            }
            if (!ok) return -1;
        }
        return 0;
    } catch (const AppClosing&) {
        throw;
    } catch (...) {
        return -1;
    }
}
