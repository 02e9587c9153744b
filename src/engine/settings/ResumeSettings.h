#pragma once
// The resume file's model: the main window's settings as values, kept from
// one start to the next in Resume302.txt, twelve "label,value" lines in
// Shift-JIS with CR LF endings (a thirteenth line, never written, may set the
// log box). Values are taken by line position; labels are only written.
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace qm {

// The lines in file order; a load applies a prefix of them.
enum class ResumeField {
    IpAddress, UsbCheck, ComIndex, Repeat, Interval, Folder, Header,
    WaveSave, ScreenShow, ScreenSave, InvCheck, Manual, LogOn,
};
inline constexpr int kResumeFieldCount = 13;

// The settings as values. A check line holds 0 (clear) or 1 (ticked) and may
// hold 2 (grey) from an older file: that reads as clear, and the line is
// written back as 2 as long as the setting stays clear and nothing set it
// (see setGreyed). The repeat count and the interval are the texts of their
// boxes as typed: the run reads the numbers from them when it starts, and the
// file keeps what was typed.
struct ResumeSettings {
    QString ipAddress = QStringLiteral("192.168.1.1");
    bool usb = false;          // IFCheck: the serial port, else TCP
    int comIndex = 1;          // ComList: 0 = COM1 .. 15 = COM16, -1 = a text not from the list
    QString repeat = QStringLiteral("1000");
    QString interval = QStringLiteral("0.1");
    QString folder;
    QString header = QStringLiteral("Sample");
    bool waveSave = true;
    bool screenShow = true;
    bool screenSave = false;
    bool invCheck = true;
    bool manual = true;
    bool logOn = false;        // only from a thirteenth line

    // A check line that read 2 (grey).
    bool greyed(ResumeField field) const { return greyed_ & (1u << int(field)); }
    // Marks or unmarks a check line as grey; a setting changed by the user
    // or the program is no longer grey.
    void setGreyed(ResumeField field, bool grey) {
        if (grey) greyed_ |= 1u << int(field);
        else greyed_ &= ~(1u << int(field));
    }

private:
    uint32_t greyed_ = 0;
};

struct ResumeLoad {
    int applied = 0;         // fields 0 .. applied-1 were read into the settings
    bool complete = false;   // all thirteen (a saved file has twelve: false)
    // Why the file could not be read whole (empty when it was, or when there
    // is no file), and the first line concerned (1-based; 0 when the file
    // could not be opened at all). Values in it are shown with control
    // characters escaped.
    QString badReason;
    int badLine = 0;
    bool damaged() const { return !badReason.isEmpty(); }
};

// Reads the file into `s` field by field. A file that exists but is not as a
// save leaves it is damaged, and the load tells the first line concerned:
// - a missing line among the first twelve (a thirteenth is optional) or a
//   number value that is not a number in range (a check value outside 0..2,
//   a list index outside -1..15) stops the load there; fields before it stay
//   applied;
// - a line longer than the comma splitter takes (32767 characters; only the
//   first 64 KB of a line are ever held), or one holding a control character
//   or bytes that are no Shift-JIS character: a text value there is not
//   applied (the load goes on), a number line stops the load.
ResumeLoad LoadResumeFile(const QString& fileName, ResumeSettings& s);

// What a start does with a damaged resume file before the program may write
// the file again: the file is copied to "<file>.bad" (an earlier copy moves
// to .bad.1, that one to .bad.2; at most three are kept), and the warning
// names the file, the first bad line and the copy.
struct DamagedResume {
    QString warning;          // empty when the load was whole
    bool mayReplace = true;   // false: no copy could be made, so the file must not be replaced
};
DamagedResume KeepDamagedResumeFile(const QString& fileName, const ResumeLoad& load);
inline constexpr int kDamagedCopies = 3;

// The twelve lines as bytes.
QByteArray ResumeFileBytes(const ResumeSettings& s);

// Writes the file beside the old one and puts it in place only once complete
// and flushed. Returns the reason (naming nothing) on failure, empty on
// success; a failed save leaves the old file whole.
QString SaveResumeFile(const QString& fileName, const ResumeSettings& s);

// "Resume" + version tag + ".txt" in the data folder. The tag names the
// file's layout, which later versions of the program keep reading; it is not
// the program's version (that comes from the build).
QString ResumeFileName(const QString& dataFolder);
inline const QString kVersionTag = QStringLiteral("302");

// What the program does with the settings at every start, after the load: an
// empty folder becomes the data folder's "Data" folder, INVなし is ticked, and
// the hidden CSV波形格納 is cleared (ticked when the waveform export is
// switched on); neither stays grey. `dataFolder` is in native form.
void ApplyStartDefaults(ResumeSettings& s, const QString& dataFolder, bool waveformExport);

// Settings given on the command line for one start: applied as if typed into
// their controls, never written back to the resume file.
struct SettingOverrides {
    std::optional<bool> log, screenSave, screenShow, manual;
    std::optional<QString> interval, repeat, folder, header, address;
    std::optional<int> com;  // 1..16: serial on COMn

    void applyTo(ResumeSettings& s) const;
    // For every overridden setting, `toSave` gets back the value `before`
    // held (a grey check line its grey).
    void revert(ResumeSettings& toSave, const ResumeSettings& before) const;
};

}  // namespace qm
