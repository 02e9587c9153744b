#include "engine/output/PictureFormat.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace qm {
namespace {

constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr uint32_t kIPow10[10] = {1u, 10u, 100u, 1000u, 10000u, 100000u, 1000000u, 10000000u, 100000000u,
                                  1000000000u};

// a * 10^p as one correctly rounded operation (10^|p| is exact up to 22).
inline bool Scale(double a, int p, double& out) {
    if (p >= 0) {
        if (p > 22) return false;
        out = a * kPow10[p];
    } else {
        if (-p > 22) return false;
        out = a / kPow10[-p];
    }
    return true;
}

}  // namespace

int FastPictureChars(char* out, double v, int decimals) {
    if (decimals < 1 || decimals > 8 || !std::isfinite(v)) return FormatPictureChars(out, v, decimals);
    const int d = decimals;
    char* o = out;
    if (v == 0) {  // "0." + zeros + "e0"; -0 counts as 0
        *o++ = '0';
        *o++ = '.';
        std::memset(o, '0', size_t(d));
        o += d;
        *o++ = 'e';
        *o++ = '0';
        return int(o - out);
    }
    const double a = std::fabs(v);
    uint64_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    const int biased = int(bits >> 52);
    if (biased == 0) return FormatPictureChars(out, v, decimals);  // subnormal
    const int e2 = biased - 1023;  // a in [2^e2, 2^(e2+1))
    // floor(log10(a)) is e or e + 1 for this estimate.
    int e = int(std::floor(e2 * 0.30102999566398120));

    const double lower = kIPow10[d];
    const double upper = kIPow10[d + 1];
    double scaled;
    if (!Scale(a, d - e, scaled)) return FormatPictureChars(out, v, decimals);
    if (scaled >= upper) {
        ++e;
        if (!Scale(a, d - e, scaled)) return FormatPictureChars(out, v, decimals);
    } else if (scaled < lower) {
        --e;
        if (!Scale(a, d - e, scaled)) return FormatPictureChars(out, v, decimals);
    }
    if (scaled < lower - 0.5 || scaled >= upper + 0.5) return FormatPictureChars(out, v, decimals);

    // scaled carries a relative error of at most 2^-53 (< 1.2e-7 absolute
    // for 9 digits): a fraction near one half could round either way, so
    // such values go to the exact formatter.
    double whole = std::floor(scaled);
    const double frac = scaled - whole;
    if (std::fabs(frac - 0.5) < 1e-6) return FormatPictureChars(out, v, decimals);
    if (frac > 0.5) whole += 1;
    uint32_t m = uint32_t(whole);
    if (m < kIPow10[d]) return FormatPictureChars(out, v, decimals);
    if (m >= kIPow10[d + 1]) {  // 9.995 -> 1.00e1
        m = kIPow10[d];
        ++e;
    }

    if (v < 0) *o++ = '-';
    char digits[10];
    for (int k = d; k >= 0; --k) {
        digits[k] = char('0' + m % 10);
        m /= 10;
    }
    *o++ = digits[0];
    *o++ = '.';
    std::memcpy(o, digits + 1, size_t(d));
    o += d;
    *o++ = 'e';
    unsigned ae = unsigned(e < 0 ? -e : e);
    if (e < 0) *o++ = '-';
    if (ae >= 100) {
        *o++ = char('0' + ae / 100);
        *o++ = char('0' + ae / 10 % 10);
    } else if (ae >= 10) {
        *o++ = char('0' + ae / 10);
    }
    *o++ = char('0' + ae % 10);
    return int(o - out);
}

}  // namespace qm
