#include "engine/text/AnsiText.h"

// The text files are written in code page 932, and Windows' own table for it
// is the one that counts: that is where the files are opened. On Windows the
// system converts; elsewhere ICU's Shift_JIS does, which is the same table
// but for a few single bytes, handled here for both builds alike:
//  - ASCII is taken byte for byte (ICU swaps 0x1A, 0x1C and 0x7F around);
//  - 0x80, 0xA0 and 0xFD-0xFF are U+0080, U+F8F0 and U+F8F1-U+F8F3, as
//    Windows has them (ICU knows none of them);
//  - half-width kana 0xA1-0xDF are U+FF61-U+FF9F.
// The same rules for what the code page cannot hold, on both builds:
//  - writing: each character code page 932 has no code for (a lone surrogate
//    and a character beyond the BMP count as one each) becomes "?" (0x3F);
//    no "best fit" look-alikes (no "\" for "¥", no "～" for "〜");
//  - reading: a double-byte code with no character becomes U+FFFD; so does a
//    lead byte with no valid trail byte after it (at the end, or before a byte
//    that cannot be a trail byte), and that next byte is read on its own.
// Everything else goes to the system's converter in runs, not character by
// character: a log line is converted every cycle.

#ifdef _WIN32
#include "engine/text/WinApi.h"
#else
#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>
#endif

namespace qm {
namespace {
constexpr char kUnmappable = '?';
constexpr char16_t kInvalid = u'\uFFFD';
// The longest run handed to the converter in one call (keeps its counts in an int).
constexpr qsizetype kRunMax = qsizetype(1) << 16;

bool IsLeadByte(uchar b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrailByte(uchar b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// The single byte for a character, or -1 when it has none of its own.
int SingleByteOf(char16_t c) {
    if (c <= 0x80) return c;
    if (c >= 0xFF61 && c <= 0xFF9F) return 0xA1 + (c - 0xFF61);
    if (c == 0xF8F0) return 0xA0;
    if (c >= 0xF8F1 && c <= 0xF8F3) return 0xFD + (c - 0xF8F1);
    return -1;
}

// The character of a byte that is not a lead byte.
char16_t SingleCharOf(uchar b) {
    if (b <= 0x80) return b;
    if (b == 0xA0) return u'\uF8F0';
    if (b >= 0xA1 && b <= 0xDF) return char16_t(0xFF61 + (b - 0xA1));
    return char16_t(0xF8F1 + (b - 0xFD));  // 0xFD-0xFF
}

#ifdef _WIN32
constexpr UINT kCodePage = 932;

class Converter {
public:
    // Appends the bytes of a run of BMP characters (no surrogates).
    void encode(QByteArray& out, QStringView run) {
        const qsizetype at = out.size();
        const int count = int(run.size());
        out.resize(at + 2 * run.size());
        const int written =
            WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(run.utf16()), count,
                                out.data() + at, 2 * count, "?", nullptr);
        if (written > 0) {
            out.resize(at + written);
            return;
        }
        // The system refused the run as a whole: nothing of it can be trusted.
        out.resize(at);
        out.append(run.size(), kUnmappable);
    }

    // Appends the characters of a run of double-byte codes (lead and trail
    // byte each).
    void decode(QString& out, const char* run, qsizetype length) {
        const qsizetype at = out.size();
        const int pairs = int(length / 2);
        out.resize(at + pairs);
        wchar_t* to = reinterpret_cast<wchar_t*>(out.data() + at);
        if (MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, run, int(length), to, pairs) == pairs) return;
        // A code without a character somewhere in the run: code by code.
        for (int k = 0; k < pairs; ++k)
            if (MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, run + 2 * k, 2, to + k, 1) != 1)
                to[k] = wchar_t(kInvalid);
    }
};
#else
class Converter {
public:
    void encode(QByteArray& out, QStringView run) {
        QStringEncoder& enc = encoder();
        const qsizetype at = out.size();
        if (!enc.isValid()) {  // a Qt without ICU: no table at all
            out.append(run.size(), kUnmappable);
            return;
        }
        // Room for the run, and for one more character converted on its own below.
        out.resize(at + enc.requiredSpace(run.size()) + enc.requiredSpace(1));
        enc.resetState();
        char* end = enc.appendToBuffer(out.data() + at, run);
        // Every character of the run has a double-byte code, if any. ICU puts
        // its own substitute (0xFC 0xFC, which is no character, or nothing at
        // all) for the others; its error count does not start again with a
        // reset, so the bytes are what tells.
        if (!AllCodes(out.constData() + at, end, run)) {
            end = out.data() + at;
            for (qsizetype k = 0; k < run.size(); ++k) {
                enc.resetState();
                char* next = enc.appendToBuffer(end, run.sliced(k, 1));
                if (AllCodes(end, next, run.sliced(k, 1))) {
                    end = next;
                } else {
                    *end++ = kUnmappable;
                }
            }
        }
        out.resize(end - out.constData());
    }

    void decode(QString& out, const char* run, qsizetype length) {
        QStringDecoder& dec = decoder();
        const qsizetype at = out.size();
        const qsizetype pairs = length / 2;
        if (!dec.isValid()) {
            out.append(QString(pairs, QChar(kInvalid)));
            return;
        }
        out.resize(at + dec.requiredSpace(length));
        dec.resetState();
        QChar* end = dec.appendToBuffer(out.data() + at, QByteArrayView(run, length));
        if (end - (out.constData() + at) != pairs) {
            // Not one character per code: code by code.
            end = out.data() + at;
            for (qsizetype k = 0; k < pairs; ++k) {
                dec.resetState();
                QChar* next = dec.appendToBuffer(end, QByteArrayView(run + 2 * k, 2));
                if (next - end != 1) *end = QChar(kInvalid);
                ++end;
            }
        }
        // ICU already gives U+FFFD for a code without a character.
        out.resize(end - out.constData());
    }

private:
    // ICU writes 0x87 0x82 ("№") for U+F86F, which code page 932 does not have.
    static constexpr char16_t kIcuOnly = u'\uF86F';

    // Whether the bytes ICU wrote for a run are a double-byte code of a
    // character for each of its characters.
    static bool AllCodes(const char* from, const char* to, QStringView run) {
        if (to - from != 2 * run.size()) return false;
        for (qsizetype k = 0; k < run.size(); ++k)
            if (run[k] == kIcuOnly || (uchar(from[2 * k]) == 0xFC && uchar(from[2 * k + 1]) == 0xFC)) return false;
        return true;
    }

    QStringEncoder& encoder() {
        if (!enc_) enc_.emplace("Shift_JIS", QStringConverter::Flag::Stateless);
        return *enc_;
    }
    QStringDecoder& decoder() {
        if (!dec_) dec_.emplace("Shift_JIS", QStringConverter::Flag::Stateless);
        return *dec_;
    }

    // Opened on the first character outside ASCII and kana: most log lines
    // never need them.
    std::optional<QStringEncoder> enc_;
    std::optional<QStringDecoder> dec_;
};
#endif
}  // namespace

QByteArray ToAnsi(const QString& text) {
    QByteArray out;
    out.reserve(2 * text.size());
    Converter conv;
    const QStringView all(text);
    const qsizetype n = all.size();
    qsizetype run = 0;  // start of the characters waiting for the converter
    const auto flush = [&](qsizetype end) {
        if (end > run) conv.encode(out, all.sliced(run, end - run));
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = all[i].unicode();
        const int single = SingleByteOf(c);
        if (single < 0 && !QChar::isSurrogate(c)) {
            if (i - run == kRunMax) {
                flush(i);
                run = i;
            }
            continue;
        }
        flush(i);
        if (single >= 0) {
            out.append(char(single));
        } else {
            out.append(kUnmappable);
            if (QChar::isHighSurrogate(c) && i + 1 < n && all[i + 1].isLowSurrogate()) ++i;
        }
        run = i + 1;
    }
    flush(n);
    return out;
}

QString FromAnsi(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    Converter conv;
    const char* b = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype run = 0;  // start of the double-byte codes waiting for the converter
    const auto flush = [&](qsizetype end) {
        if (end > run) conv.decode(out, b + run, end - run);
    };
    qsizetype i = 0;
    while (i < n) {
        const uchar c = uchar(b[i]);
        if (IsLeadByte(c) && i + 1 < n && IsTrailByte(uchar(b[i + 1]))) {
            if (i - run >= 2 * kRunMax) {
                flush(i);
                run = i;
            }
            i += 2;
            continue;
        }
        flush(i);
        out.append(IsLeadByte(c) ? QChar(kInvalid) : QChar(SingleCharOf(c)));
        run = ++i;
    }
    flush(n);
    return out;
}

QString PathSep() {
#ifdef Q_OS_WIN
    return QStringLiteral("\\");
#else
    return QStringLiteral("/");
#endif
}
}  // namespace qm
