#pragma once
// The instrument's screen image: "TSCRN? bmp" / "TSCRN? png" and a binary
// block holding a complete image file that the instrument produced itself.
// The bytes are stored as they are; the image is never decoded here.
#include <QString>
#include <cstdint>

struct Link;

// The screen window's image file, relative to the data folder (the working
// directory while the application runs).
inline const QString kScreenBufferName = QStringLiteral("BufferFile.bmp");
// Format words of the request: the display image and the saved image.
inline const QString kScreenFormatBmp = QStringLiteral("bmp");
inline const QString kScreenFormatPng = QStringLiteral("png");

// Sends "TSCRN? " + formatWord, reads the image block (TCP reader when
// link.CommMode nonzero, the same test as the command link; else the serial reader) and stores exactly its n data
// bytes in fileName. The file is written beside its target and put in place
// only once complete, so it never keeps a terminator, padding or the tail of
// an older, longer file.
//
// Returns n (> 0). Returns 0 when anything failed, when the instrument sent an
// empty image, or when the serial port is not open: then no file is written,
// an existing file of that name stays as it was, and *error (when given)
// receives a text for the user. *linkLost (when given) is set to true when the
// link itself is gone (connection dropped, serial device failed or closed), so
// the caller can end the run; otherwise false.
// Raises only AppClosing (the main window is being closed).
int32_t TransferScreen(Link& link, const QString& fileName, const QString& formatWord, QString* error = nullptr,
                       bool* linkLost = nullptr);
