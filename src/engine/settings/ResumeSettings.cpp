#include "engine/settings/ResumeSettings.h"

#include "engine/text/AnsiText.h"
#include "engine/text/FileNames.h"
#include "engine/text/ItemText.h"
#include "engine/text/NumText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <optional>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(ResumeSettings)
};
}  // namespace

namespace qm {

namespace {

// A line longer than this is kept only in part: its first bytes already make
// more than the 32767 characters the comma splitter accepts, so the line
// splits into empty items exactly as the whole line would.
constexpr qsizetype kLineKeepBytes = 65536;
constexpr int kComEntries = 16;

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

// The longest line the comma splitter takes whole.
constexpr qsizetype kSplitterLimit = 32767;
// Lines a saved file has; a thirteenth is optional.
constexpr int kSavedLines = 12;

QString ShownValue(const QString& text) { return QStringLiteral("\"%1\"").arg(qm::ShownText(text, 40)); }

// What makes a line unreadable as a whole, whatever its field: empty when
// nothing does.
QString LineProblem(const QString& line) {
    if (line.size() > kSplitterLimit) return Texts::tr("行が長すぎます (%1 文字まで)").arg(kSplitterLimit);
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F)
            return Texts::tr("制御文字 (%1) を含みます: %2").arg(qm::ShownText(QString(c)), ShownValue(line));
        if (u == 0xFFFD) return Texts::tr("Shift-JIS の文字でないバイトを含みます: %1").arg(ShownValue(line));
    }
    return {};
}

// Strict conversion of a number value to a 16-bit integer in lo..hi; the
// reason in `why` when it is not one.
std::optional<int> ResumeNumber(const QString& text, int lo, int hi, QString& why) {
    const std::optional<double> v = qm::StrictNumber(text);
    if (!v) {
        why = Texts::tr("値 %1 が数値ではありません").arg(ShownValue(text));
        return std::nullopt;
    }
    std::optional<int> n;
    try {
        n = qm::ToInt16(*v);
    } catch (const qm::NumberOverflow&) {
    }
    if (!n || *n < lo || *n > hi) {
        why = Texts::tr("値 %1 が範囲外です (%2 から %3)").arg(ShownValue(text)).arg(lo).arg(hi);
        return std::nullopt;
    }
    return n;
}

// A check line's value: 0 clear, 1 ticked, 2 grey (read as clear and kept).
bool CheckValue(const QString& text, ResumeSettings& s, ResumeField field, bool& out, QString& why) {
    const auto v = ResumeNumber(text, 0, 2, why);
    if (!v) return false;
    out = *v == 1;
    s.setGreyed(field, *v == 2);
    return true;
}

// What a check line holds: 1 ticked, 2 grey, else 0.
int16_t CheckNumber(const ResumeSettings& s, ResumeField field, bool on) {
    if (on) return 1;
    return s.greyed(field) ? 2 : 0;
}

QString BadName(const QString& fileName, int n) {
    return fileName + QStringLiteral(".bad") + (n > 0 ? QStringLiteral(".%1").arg(n) : QString());
}

}  // namespace

QString ResumeFileName(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("Resume") + kVersionTag + QStringLiteral(".txt"));
}

ResumeLoad LoadResumeFile(const QString& fileName, ResumeSettings& s) {
    ResumeLoad result;
    QFile f(fileName);
    if (!f.exists()) return result;  // a first start: nothing to read
    if (!f.open(QIODevice::ReadOnly)) {
        result.badReason = Texts::tr("開けません: %1").arg(f.errorString());
        return result;
    }
    const auto bad = [&](int line, const QString& why) {
        if (result.damaged()) return;
        result.badLine = line;
        result.badReason = why;
    };
    // One item array serves every line: a line without a comma leaves item(1)
    // as the previous line set it.
    std::array<QString, 4> item;
    QByteArray raw;
    for (int k = 0; k < kResumeFieldCount; ++k) {
        if (!ReadLine(f, raw)) {
            if (k < kSavedLines) bad(k + 1, Texts::tr("行がありません (%1 行のはず)").arg(kSavedLines));
            return result;
        }
        const QString line = qm::FromAnsi(raw);
        splitItems(line, item);
        const QString& value = item[1];
        // A line without a comma takes the previous line's value: that one
        // is looked at too.
        QString why = LineProblem(line);
        if (why.isEmpty()) why = LineProblem(value);
        bool ok = why.isEmpty();
        const auto text = [&](QString& field) {
            if (ok) field = value;
            else bad(k + 1, why);
            ok = true;  // a text value never stops the load
        };
        const auto check = [&](bool& field) {
            if (ok) ok = CheckValue(value, s, ResumeField(k), field, why);
        };
        switch (ResumeField(k)) {
        case ResumeField::IpAddress: text(s.ipAddress); break;
        case ResumeField::UsbCheck: check(s.usb); break;
        case ResumeField::ComIndex:
            if (ok) {
                const auto v = ResumeNumber(value, -1, kComEntries - 1, why);
                ok = v.has_value();
                if (ok) s.comIndex = *v;
            }
            break;
        case ResumeField::Repeat: text(s.repeat); break;
        case ResumeField::Interval: text(s.interval); break;
        case ResumeField::Folder: text(s.folder); break;
        case ResumeField::Header: text(s.header); break;
        case ResumeField::WaveSave: check(s.waveSave); break;
        case ResumeField::ScreenShow: check(s.screenShow); break;
        case ResumeField::ScreenSave: check(s.screenSave); break;
        case ResumeField::InvCheck: check(s.invCheck); break;
        case ResumeField::Manual: check(s.manual); break;
        case ResumeField::LogOn: check(s.logOn); break;
        }
        if (!ok) {
            bad(k + 1, why);
            return result;
        }
        result.applied = k + 1;
    }
    result.complete = true;
    return result;
}

DamagedResume KeepDamagedResumeFile(const QString& fileName, const ResumeLoad& load) {
    DamagedResume r;
    if (!load.damaged()) return r;
    const QString shown = QDir::toNativeSeparators(fileName);
    const QString what = load.badLine > 0
                             ? Texts::tr("設定ファイル %1 の %2 行目が読めません: %3").arg(shown).arg(load.badLine).arg(load.badReason)
                             : Texts::tr("設定ファイル %1 が読めません: %2").arg(shown, load.badReason);
    // The oldest copy goes, the others move up one.
    QFile::remove(BadName(fileName, kDamagedCopies - 1));
    for (int n = kDamagedCopies - 2; n >= 0; --n)
        if (QFile::exists(BadName(fileName, n))) QFile::rename(BadName(fileName, n), BadName(fileName, n + 1));
    const QString copy = BadName(fileName, 0);
    QFile original(fileName);
    if (QFile::exists(copy) || !original.copy(copy)) {
        r.mayReplace = false;
        r.warning = what + Texts::tr("。控え %1 を作れないため、このファイルは書き換えません: %2")
                               .arg(QDir::toNativeSeparators(copy),
                                    QFile::exists(copy) ? Texts::tr("古い控えを移せません") : original.errorString());
        return r;
    }
    r.warning = what + Texts::tr("。読めない設定は既定値です。元のファイルは %1 に残しました").arg(QDir::toNativeSeparators(copy));
    return r;
}

QByteArray ResumeFileBytes(const ResumeSettings& s) {
    QByteArray out;
    const auto text = [&](const char* label, const QString& value) {
        out += qm::ToAnsi(QString::fromUtf8(label) + OneLine(value));
        out += "\r\n";
    };
    const auto number = [&](const char* label, int16_t value) {
        out += qm::ToAnsi(QString::fromUtf8(label) + qm::PrintNumber(value));
        out += "\r\n";
    };
    const auto check = [&](const char* label, ResumeField field, bool on) { number(label, CheckNumber(s, field, on)); };
    text("IPアドレス,", s.ipAddress);
    check("USBチェック,", ResumeField::UsbCheck, s.usb);
    number("Comアドレス,", static_cast<int16_t>(s.comIndex));
    text("回数,", s.repeat);
    text("インターバル,", s.interval);
    text("フォルダ,", s.folder);
    text("ファイルヘッダ,", s.header);
    check("csv波形格納チェック,", ResumeField::WaveSave, s.waveSave);
    check("DS画面表示チェック,", ResumeField::ScreenShow, s.screenShow);
    check("DS画面格納チェック,", ResumeField::ScreenSave, s.screenSave);
    check("INVコマンドチェック,", ResumeField::InvCheck, s.invCheck);
    check("Mnual継続チェック,", ResumeField::Manual, s.manual);
    return out;
}

QString SaveResumeFile(const QString& fileName, const ResumeSettings& s) {
    // A file marked read-only is not replaced, not even by a user whom the
    // system lets write anyway (root): the owner's write bit counts too.
    const QFileInfo existing(fileName);
    if (existing.exists() && (!existing.isWritable() || !(existing.permissions() & QFileDevice::WriteOwner)))
        return Texts::tr("読み取り専用です");
    const QByteArray out = ResumeFileBytes(s);
    QSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly)) return f.errorString();
    // The flush is checked before the commit: a write cut short while the
    // buffer is emptied (disk full) must never put a truncated file in place.
    if (f.write(out) != out.size() || !f.flush() || f.error() != QFileDevice::NoError) {
        const QString reason = f.errorString();
        f.cancelWriting();
        return reason;
    }
    if (!f.commit()) return f.errorString();
    return {};
}

void ApplyStartDefaults(ResumeSettings& s, const QString& dataFolder, bool waveformExport) {
    if (s.folder.isEmpty()) s.folder = dataFolder + qm::PathSep() + QStringLiteral("Data");
    s.invCheck = true;
    s.setGreyed(ResumeField::InvCheck, false);
    s.waveSave = waveformExport;
    s.setGreyed(ResumeField::WaveSave, false);
}

void SettingOverrides::applyTo(ResumeSettings& s) const {
    const auto flag = [&s](const std::optional<bool>& v, bool& value, ResumeField field) {
        if (!v) return;
        value = *v;
        s.setGreyed(field, false);
    };
    flag(log, s.logOn, ResumeField::LogOn);
    flag(screenSave, s.screenSave, ResumeField::ScreenSave);
    flag(screenShow, s.screenShow, ResumeField::ScreenShow);
    flag(manual, s.manual, ResumeField::Manual);
    if (interval) s.interval = *interval;
    if (repeat) s.repeat = *repeat;
    if (folder) s.folder = *folder;
    if (header) s.header = *header;
    if (address) {
        flag(false, s.usb, ResumeField::UsbCheck);
        s.ipAddress = *address;
    }
    if (com) {
        flag(true, s.usb, ResumeField::UsbCheck);
        s.comIndex = *com - 1;
    }
}

void SettingOverrides::revert(ResumeSettings& toSave, const ResumeSettings& before) const {
    const auto back = [&](bool given, bool& value, bool old, ResumeField field) {
        if (!given) return;
        value = old;
        toSave.setGreyed(field, before.greyed(field));
    };
    back(log.has_value(), toSave.logOn, before.logOn, ResumeField::LogOn);
    back(screenSave.has_value(), toSave.screenSave, before.screenSave, ResumeField::ScreenSave);
    back(screenShow.has_value(), toSave.screenShow, before.screenShow, ResumeField::ScreenShow);
    back(manual.has_value(), toSave.manual, before.manual, ResumeField::Manual);
    if (interval) toSave.interval = before.interval;
    if (repeat) toSave.repeat = before.repeat;
    if (folder) toSave.folder = before.folder;
    if (header) toSave.header = before.header;
    if (address || com) {
        back(true, toSave.usb, before.usb, ResumeField::UsbCheck);
        toSave.ipAddress = before.ipAddress;
        toSave.comIndex = before.comIndex;
    }
}

}  // namespace qm
