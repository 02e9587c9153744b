#include "engine/text/NumText.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace qm {
namespace {

bool IsDigit(QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }

struct Scanned {
    bool found = false;       // a number was read
    bool outOfRange = false;  // its magnitude does not fit a double
    qsizetype end = 0;        // index just after the number
    double value = 0;
};

// Reads a number at `pos`: optional sign, digits, optional point with digits,
// optional exponent (E or e, optional sign, at least one digit). An exponent
// letter without digits is not part of the number ("1e" reads 1); D is no
// exponent letter, since the instrument never writes one. A point
// with digits on one side only is accepted ("5." and ".5").
Scanned ScanNumber(QStringView t, qsizetype pos) {
    Scanned r;
    r.end = pos;
    const qsizetype n = t.size();
    qsizetype p = pos;
    bool neg = false;
    if (p < n && (t[p] == u'+' || t[p] == u'-')) neg = (t[p++] == u'-');

    std::string buf;
    const qsizetype intStart = p;
    while (p < n && IsDigit(t[p])) ++p;
    const qsizetype intDigits = p - intStart;
    for (qsizetype k = intStart; k < p; ++k) buf.push_back(char(t[k].unicode()));

    qsizetype fracDigits = 0;
    if (p < n && t[p] == u'.') {
        qsizetype q = p + 1;
        while (q < n && IsDigit(t[q])) ++q;
        fracDigits = q - p - 1;
        if (intDigits + fracDigits > 0) {
            if (fracDigits > 0) {
                buf.push_back('.');
                for (qsizetype k = p + 1; k < q; ++k) buf.push_back(char(t[k].unicode()));
            }
            p = q;
        }
    }
    if (intDigits + fracDigits == 0) return r;

    long long exp10 = 0;  // saturated exponent value, only to tell overflow from underflow
    if (p < n && (t[p] == u'E' || t[p] == u'e')) {
        qsizetype q = p + 1;
        bool expNeg = false;
        if (q < n && (t[q] == u'+' || t[q] == u'-')) expNeg = (t[q++] == u'-');
        if (q < n && IsDigit(t[q])) {
            buf.push_back('e');
            if (expNeg) buf.push_back('-');
            for (; q < n && IsDigit(t[q]); ++q) {
                buf.push_back(char(t[q].unicode()));
                if (exp10 < 1000000000) exp10 = exp10 * 10 + (t[q].unicode() - u'0');
            }
            if (expNeg) exp10 = -exp10;
            p = q;
        }
    }

    double v = 0;
    auto res = std::from_chars(buf.data(), buf.data() + buf.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        // Decimal exponent of the leading non-zero digit decides: too large or too small.
        long long lead = 0;
        bool nonZero = false;
        for (qsizetype k = 0; k < intDigits + fracDigits; ++k) {
            const char c = buf[k < intDigits ? k : k + 1];
            if (c != '0') {
                lead = intDigits - k - 1;  // the point sits after the integer digits
                nonZero = true;
                break;
            }
        }
        if (nonZero && lead + exp10 > 0) {
            v = std::numeric_limits<double>::infinity();
            r.outOfRange = true;
        } else {
            v = 0;  // underflow: the nearest double is zero
        }
    }
    r.found = true;
    r.end = p;
    r.value = neg ? -v : v;
    return r;
}

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }

// "nan"/"inf" texts shared by all writers: plain words, no digits, so that no
// reader takes them for a measured number.
int NonFiniteChars(char* out, double v) {
    const char* s = std::isnan(v) ? "NaN" : (v < 0 ? "-Inf" : "Inf");
    const int len = int(std::strlen(s));
    std::memcpy(out, s, size_t(len));
    return len;
}

// Turns the scientific text of to_chars ("[-]d[.ddd]e±XX") into the general
// number text: trailing zeros of the mantissa dropped, fixed notation for
// decimal exponents -4..maxFixedExp, otherwise "E", sign and two or more digits.
int GeneralFromScientific(char* out, const char* sci, const char* sciEnd, int maxFixedExp) {
    const char* p = sci;
    char* o = out;
    if (*p == '-') *o++ = *p++;
    char digits[40];
    int nd = 0;
    for (; p < sciEnd && *p != 'e'; ++p)
        if (*p != '.') digits[nd++] = *p;
    ++p;  // 'e'
    const bool expNeg = (*p == '-');
    ++p;
    int e = 0;
    for (; p < sciEnd; ++p) e = e * 10 + (*p - '0');
    if (expNeg) e = -e;
    while (nd > 1 && digits[nd - 1] == '0') --nd;

    if (e < -4 || e > maxFixedExp) {
        *o++ = digits[0];
        if (nd > 1) {
            *o++ = '.';
            std::memcpy(o, digits + 1, size_t(nd - 1));
            o += nd - 1;
        }
        *o++ = 'E';
        *o++ = expNeg ? '-' : '+';
        const int a = expNeg ? -e : e;
        if (a >= 100) *o++ = char('0' + a / 100);
        *o++ = char('0' + a / 10 % 10);
        *o++ = char('0' + a % 10);
    } else if (e >= 0) {
        for (int k = 0; k <= e; ++k) *o++ = k < nd ? digits[k] : '0';
        if (nd > e + 1) {
            *o++ = '.';
            std::memcpy(o, digits + e + 1, size_t(nd - e - 1));
            o += nd - e - 1;
        }
    } else {
        *o++ = '0';
        *o++ = '.';
        for (int k = 0; k < -e - 1; ++k) *o++ = '0';
        std::memcpy(o, digits, size_t(nd));
        o += nd;
    }
    return int(o - out);
}

template <typename T>
int GeneralChars(char* out, T v, int digits) {
    if (!std::isfinite(v)) return NonFiniteChars(out, double(v));
    if (v == 0) {  // also negative zero
        out[0] = '0';
        return 1;
    }
    char sci[48];
    auto res = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific, digits - 1);
    return GeneralFromScientific(out, sci, res.ptr, digits - 1);  // fixed form only while every integer digit is significant
}

QString Latin1(const char* s, int len) { return QString::fromLatin1(s, len); }

template <typename T>
QString PrintChars(T v, int digits) {
    char buf[48];
    char* o = buf;
    if (!(v < 0)) *o++ = ' ';
    o += GeneralChars(o, v, digits);
    *o++ = ' ';
    return Latin1(buf, int(o - buf));
}

}  // namespace

double LeadingNumber(QStringView text) {
    qsizetype p = 0;
    while (p < text.size() && (IsBlank(text[p]) || text[p] == u'\n' || text[p] == u'\r')) ++p;
    const Scanned s = ScanNumber(text, p);
    return s.found ? s.value : 0.0;
}

std::optional<double> StrictNumber(QStringView text) {
    qsizetype p = 0;
    while (p < text.size() && IsBlank(text[p])) ++p;
    const Scanned s = ScanNumber(text, p);
    if (!s.found || s.outOfRange) return std::nullopt;
    p = s.end;
    while (p < text.size() && IsBlank(text[p])) ++p;
    if (p != text.size()) return std::nullopt;
    return s.value;
}

double RoundHalfEven(double v) {
    const double r = std::round(v);  // halves away from zero
    if (std::fabs(r - v) == 0.5 && std::fmod(r, 2.0) != 0) return r - std::copysign(1.0, v);
    return r;
}

namespace {
template <typename I>
I ToInt(double v, const char* what) {
    const double r = RoundHalfEven(v);
    if (std::isnan(r) || r < double(std::numeric_limits<I>::min()) || r > double(std::numeric_limits<I>::max()))
        throw NumberOverflow(what);
    return static_cast<I>(r);
}
}  // namespace

int16_t ToInt16(double v) { return ToInt<int16_t>(v, "Overflow (16-bit integer)"); }
int32_t ToInt32(double v) { return ToInt<int32_t>(v, "Overflow (32-bit integer)"); }

QString GeneralNumberText(double v) {
    char buf[48];
    return Latin1(buf, GeneralChars(buf, v, 15));
}

QString GeneralNumberText(float v) {
    char buf[48];
    return Latin1(buf, GeneralChars(buf, v, 7));
}

QString PrintNumber(double v) { return PrintChars(v, 15); }
QString PrintNumber(float v) { return PrintChars(v, 7); }

QString PrintNumber(int64_t v) {
    char buf[32];
    char* o = buf;
    if (v >= 0) *o++ = ' ';
    o = std::to_chars(o, buf + sizeof buf - 1, v).ptr;
    *o++ = ' ';
    return Latin1(buf, int(o - buf));
}

int FormatPictureChars(char* out, double v, int decimals) {
    if (!std::isfinite(v)) return NonFiniteChars(out, v);
    if (decimals < 0) decimals = 0;
    if (decimals > kPictureMaxDecimals) decimals = kPictureMaxDecimals;
    if (v == 0) v = 0.0;  // no "-" for negative zero
    char sci[64];
    const char* end = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific, decimals).ptr;
    const char* e = end;
    while (*--e != 'e') {}
    const std::size_t mant = std::size_t(e - sci);
    std::memcpy(out, sci, mant);
    char* o = out + mant;
    *o++ = 'e';
    if (e[1] == '-') *o++ = '-';
    const char* d = e + 2;
    while (d < end - 1 && *d == '0') ++d;  // as few exponent digits as needed
    while (d < end) *o++ = *d++;
    return int(o - out);
}

QString FormatPicture(double v, int decimals) {
    char buf[kPictureTextMax];
    return Latin1(buf, FormatPictureChars(buf, v, decimals));
}

}  // namespace qm
