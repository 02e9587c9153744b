#pragma once
// The resume file: the main window's settings, kept from one start to the
// next as twelve "label,value" lines in Shift-JIS with CR LF endings.
#include <QString>
#include <cstdint>

class QComboBox;
class QLineEdit;
class VbCheckBox;

// The controls whose values the resume file holds (AMLogOn is only read,
// from an optional thirteenth line; it is never written).
struct ResumeControls {
    QLineEdit& IPAdressText;
    VbCheckBox& IFCheck;
    QComboBox& ComList;
    QLineEdit& TRound;
    QLineEdit& LoopInterval;
    QLineEdit& FFolder;
    QLineEdit& FHeadder;
    VbCheckBox& WaveSaveCheck;
    VbCheckBox& DSScreenDispCheck;
    VbCheckBox& DSScreenSaveCheck;
    VbCheckBox& INVCheck;
    VbCheckBox& ManualCheck;
    VbCheckBox& AMLogOn;
};

// Writes the twelve lines. The new file replaces the old one only once it is
// complete: 0 = written, -1 = failure (the previous file is left as it was).
int16_t SaveResumeParam(const QString& filename, ResumeControls& c);

// Applies the lines to the controls by position. 0 = every line applied
// (twelve lines and a thirteenth for AMLogOn); -1 = stopped early: no file,
// end of file, or a damaged number line. Settings applied before the stop
// stay applied. Note that a file written by SaveResumeParam has no thirteenth
// line, so its load applies all twelve settings and still gives -1.
int16_t LoadResumeParam(const QString& filename, ResumeControls& c);
