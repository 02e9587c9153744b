#include "engine/settings/ResumeSettings.h"

#include "engine/text/AnsiText.h"
#include "engine/text/ItemText.h"
#include "engine/text/NumText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <optional>

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

// Strict conversion of a number value to a 16-bit integer.
std::optional<int> ResumeNumber(const QString& text) {
    const std::optional<double> v = qm::StrictNumber(text);
    if (!v) return std::nullopt;
    try {
        return qm::ToInt16(*v);
    } catch (const qm::NumberOverflow&) {
        return std::nullopt;
    }
}

bool CheckValue(const QString& text, int& out) {
    const auto v = ResumeNumber(text);
    if (!v || *v < 0 || *v > 2) return false;
    out = *v;
    return true;
}

}  // namespace

QString ResumeFileName(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("Resume") + kVersionTag + QStringLiteral(".txt"));
}

ResumeLoad LoadResumeFile(const QString& fileName, ResumeSettings& s) {
    ResumeLoad result;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) return result;
    // One item array serves every line: a line without a comma leaves item(1)
    // as the previous line set it.
    std::array<QString, 4> item;
    QByteArray raw;
    for (int k = 0; k < kResumeFieldCount; ++k) {
        if (!ReadLine(f, raw)) return result;
        Get_Items(qm::FromAnsi(raw), item);
        const QString& value = item[1];
        bool ok = true;
        switch (ResumeField(k)) {
        case ResumeField::IpAddress: s.ipAddress = value; break;
        case ResumeField::UsbCheck: ok = CheckValue(value, s.usbCheck); break;
        case ResumeField::ComIndex: {
            const auto v = ResumeNumber(value);
            ok = v && *v >= -1 && *v < kComEntries;
            if (ok) s.comIndex = *v;
            break;
        }
        case ResumeField::Repeat: s.repeat = value; break;
        case ResumeField::Interval: s.interval = value; break;
        case ResumeField::Folder: s.folder = value; break;
        case ResumeField::Header: s.header = value; break;
        case ResumeField::WaveSave: ok = CheckValue(value, s.waveSave); break;
        case ResumeField::ScreenShow: ok = CheckValue(value, s.screenShow); break;
        case ResumeField::ScreenSave: ok = CheckValue(value, s.screenSave); break;
        case ResumeField::InvCheck: ok = CheckValue(value, s.invCheck); break;
        case ResumeField::Manual: ok = CheckValue(value, s.manual); break;
        case ResumeField::LogOn: ok = CheckValue(value, s.logOn); break;
        }
        if (!ok) return result;
        result.applied = k + 1;
    }
    result.complete = true;
    return result;
}

QByteArray ResumeFileBytes(const ResumeSettings& s) {
    QByteArray out;
    const auto text = [&](const char* label, const QString& value) {
        out += qm::ToAnsi(QString::fromUtf8(label) + OneLine(value));
        out += "\r\n";
    };
    const auto number = [&](const char* label, int value) {
        out += qm::ToAnsi(QString::fromUtf8(label) + qm::PrintNumber(static_cast<int16_t>(value)));
        out += "\r\n";
    };
    text("IPアドレス,", s.ipAddress);
    number("USBチェック,", s.usbCheck);
    number("Comアドレス,", s.comIndex);
    text("回数,", s.repeat);
    text("インターバル,", s.interval);
    text("フォルダ,", s.folder);
    text("ファイルヘッダ,", s.header);
    number("csv波形格納チェック,", s.waveSave);
    number("DS画面表示チェック,", s.screenShow);
    number("DS画面格納チェック,", s.screenSave);
    number("INVコマンドチェック,", s.invCheck);
    number("Mnual継続チェック,", s.manual);
    return out;
}

QString SaveResumeFile(const QString& fileName, const ResumeSettings& s) {
    // A file marked read-only is not replaced, not even by a user whom the
    // system lets write anyway (root): the owner's write bit counts too.
    const QFileInfo existing(fileName);
    if (existing.exists() && (!existing.isWritable() || !(existing.permissions() & QFileDevice::WriteOwner)))
        return QStringLiteral("読み取り専用です");
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
    s.invCheck = 1;
    s.waveSave = waveformExport ? 1 : 0;
}

void SettingOverrides::applyTo(ResumeSettings& s) const {
    const auto flag = [](const std::optional<bool>& v, int& field) {
        if (v) field = *v ? 1 : 0;
    };
    flag(log, s.logOn);
    flag(screenSave, s.screenSave);
    flag(screenShow, s.screenShow);
    flag(manual, s.manual);
    if (interval) s.interval = *interval;
    if (repeat) s.repeat = *repeat;
    if (folder) s.folder = *folder;
    if (header) s.header = *header;
    if (address) {
        s.usbCheck = 0;
        s.ipAddress = *address;
    }
    if (com) {
        s.usbCheck = 1;
        s.comIndex = *com - 1;
    }
}

QList<ResumeField> SettingOverrides::fields() const {
    QList<ResumeField> f;
    if (address) f << ResumeField::UsbCheck << ResumeField::IpAddress;
    if (com) f << ResumeField::UsbCheck << ResumeField::ComIndex;
    if (repeat) f << ResumeField::Repeat;
    if (interval) f << ResumeField::Interval;
    if (folder) f << ResumeField::Folder;
    if (header) f << ResumeField::Header;
    if (screenShow) f << ResumeField::ScreenShow;
    if (screenSave) f << ResumeField::ScreenSave;
    if (manual) f << ResumeField::Manual;
    if (log) f << ResumeField::LogOn;
    return f;
}

void SettingOverrides::revert(ResumeSettings& toSave, const ResumeSettings& before) const {
    if (log) toSave.logOn = before.logOn;
    if (screenSave) toSave.screenSave = before.screenSave;
    if (screenShow) toSave.screenShow = before.screenShow;
    if (manual) toSave.manual = before.manual;
    if (interval) toSave.interval = before.interval;
    if (repeat) toSave.repeat = before.repeat;
    if (folder) toSave.folder = before.folder;
    if (header) toSave.header = before.header;
    if (address || com) {
        toSave.usbCheck = before.usbCheck;
        toSave.ipAddress = before.ipAddress;
        toSave.comIndex = before.comIndex;
    }
}
