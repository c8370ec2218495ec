#include "python_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <string>

namespace dcore {
namespace pytext {

namespace {

bool ascii_space(unsigned char c) { return (c >= 9 && c <= 13) || (c >= 28 && c <= 32); }

// The code point at p[0..n) and its length in bytes; a malformed byte stands for itself.
std::uint32_t decode(const char *p, std::size_t n, std::size_t &len) {
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    unsigned char c = u[0];
    len = 1;
    if (c < 0x80) return c;
    std::size_t need = (c >= 0xF0) ? 4 : (c >= 0xE0) ? 3 : (c >= 0xC0) ? 2 : 1;
    if (need == 1 || need > n) return 0xFFFD;
    std::uint32_t cp = c & (0x7F >> need);
    for (std::size_t i = 1; i < need; ++i) {
        if ((u[i] & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (u[i] & 0x3F);
    }
    len = need;
    return cp;
}

// Length of the white space that ends at p + n (0 when none).
std::size_t space_before(const char *p, std::size_t n) {
    auto c = static_cast<unsigned char>(p[n - 1]);
    if (c < 0x80) return ascii_space(c) ? 1 : 0;
    std::size_t k = n - 1;
    while (k > 0 && n - k < 4 && (static_cast<unsigned char>(p[k]) & 0xC0) == 0x80) --k;
    std::size_t len;
    std::uint32_t cp = decode(p + k, n - k, len);
    return (k + len == n && is_space(cp)) ? len : 0;
}

bool needs_interpreter(const char *s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80 || c == '_') return true;
    }
    return false;
}

bool same_word(const char *s, std::size_t n, const char *word) {
    std::size_t w = std::strlen(word);
    if (n != w) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Correctly rounded decimal -> double where from_chars reports a result beyond double's range:
// the C library rounds to infinity or down through the subnormals to zero, as float() does.
double strtod_c(const char *s, std::size_t n) {
    static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    std::string copy(s, n);
    return strtod_l(copy.c_str(), nullptr, c_locale);
}

// The value of a checked decimal text when it is m x 10^e with m below 2^53 and |e| <= 22: both
// are exact doubles, so one IEEE multiplication or division gives the correctly rounded result.
bool exact_decimal(const char *s, std::size_t n, double &out) {
    static const double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr std::uint64_t kLimit = std::uint64_t(1) << 53;
    std::uint64_t m = 0;
    std::int64_t e = 0;
    std::size_t i = 0;
    bool fraction = false;
    for (; i < n; ++i) {
        char c = s[i];
        if (c == '.') {
            fraction = true;
            continue;
        }
        if (!is_digit(c)) break;
        m = m * 10 + static_cast<unsigned>(c - '0');
        if (m >= kLimit) return false;
        if (fraction) --e;
    }
    if (i < n) {  // the exponent: [eE][+-]digits, already checked
        ++i;
        bool minus = false;
        if (s[i] == '+' || s[i] == '-') minus = s[i++] == '-';
        std::int64_t x = 0;
        for (; i < n; ++i) {
            x = x * 10 + (s[i] - '0');
            if (x > 1000) return false;
        }
        e += minus ? -x : x;
    }
    if (m == 0) {
        out = 0.0;
        return true;
    }
    if (e < -22 || e > 22) return false;
    out = e >= 0 ? static_cast<double>(m) * kPow10[e] : static_cast<double>(m) / kPow10[-e];
    return true;
}

}  // namespace

bool is_space(std::uint32_t cp) {
    if (cp < 0x80) return ascii_space(static_cast<unsigned char>(cp));
    switch (cp) {
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return cp >= 0x2000 && cp <= 0x200A;
    }
}

std::size_t space_at(const char *p, std::size_t n) {
    auto c = static_cast<unsigned char>(p[0]);
    if (c < 0x80) return ascii_space(c) ? 1 : 0;
    std::size_t len;
    std::uint32_t cp = decode(p, n, len);
    return is_space(cp) ? len : 0;
}

void strip(const char *&p, std::size_t &n) {
    std::size_t sp;
    while (n > 0 && (sp = space_at(p, n)) > 0) p += sp, n -= sp;
    while (n > 0 && (sp = space_before(p, n)) > 0) n -= sp;
}

void split(const char *p, std::size_t n, std::vector<Token> &tokens) {
    tokens.clear();
    std::size_t i = 0;
    while (i < n) {
        std::size_t sp;
        while (i < n && (sp = space_at(p + i, n - i)) > 0) i += sp;
        if (i >= n) break;
        std::size_t start = i;
        while (i < n && space_at(p + i, n - i) == 0) {
            std::size_t len = 1;
            if (static_cast<unsigned char>(p[i]) >= 0x80) decode(p + i, n - i, len);
            i += len;
        }
        tokens.emplace_back(p + start, i - start);
    }
}

Number parse_real(const char *s, std::size_t n, double &out) {
    if (needs_interpreter(s, n)) return Number::Pending;
    std::size_t i = 0;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const char *body = s + i;
    std::size_t len = n - i;
    if (same_word(body, len, "inf") || same_word(body, len, "infinity")) {
        out = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return Number::Ok;
    }
    if (same_word(body, len, "nan")) {
        out = std::copysign(std::numeric_limits<double>::quiet_NaN(), negative ? -1.0 : 1.0);
        return Number::Ok;
    }
    // digits [. digits] | . digits, then an optional exponent; nothing else
    std::size_t j = 0, mantissa_digits = 0;
    while (j < len && is_digit(body[j])) ++j, ++mantissa_digits;
    if (j < len && body[j] == '.') {
        ++j;
        while (j < len && is_digit(body[j])) ++j, ++mantissa_digits;
    }
    if (mantissa_digits == 0) return Number::Invalid;
    if (j < len && (body[j] == 'e' || body[j] == 'E')) {
        ++j;
        if (j < len && (body[j] == '+' || body[j] == '-')) ++j;
        std::size_t exponent_digits = 0;
        while (j < len && is_digit(body[j])) ++j, ++exponent_digits;
        if (exponent_digits == 0) return Number::Invalid;
    }
    if (j != len) return Number::Invalid;

    double v = 0.0;
    if (exact_decimal(body, len, v)) {
        out = negative ? -v : v;
        return Number::Ok;
    }
    auto r = std::from_chars(body, body + len, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        v = strtod_c(body, len);
    else if (r.ec != std::errc() || r.ptr != body + len)
        return Number::Invalid;
    out = negative ? -v : v;
    return Number::Ok;
}

Number parse_integer(const char *s, std::size_t n, std::int64_t &out) {
    if (needs_interpreter(s, n)) return Number::Pending;
    std::size_t i = 0;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i == n) return Number::Invalid;
    // accumulate as a negative number so that the lowest int64 fits
    std::int64_t v = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        if (!is_digit(s[i])) return Number::Invalid;
        int d = s[i] - '0';
        if (!overflow) {
            if (v < (std::numeric_limits<std::int64_t>::min() + d) / 10)
                overflow = true;
            else
                v = v * 10 - d;
        }
    }
    if (overflow) return Number::OutOfRange;
    if (!negative) {
        if (v == std::numeric_limits<std::int64_t>::min()) return Number::OutOfRange;
        v = -v;
    }
    out = v;
    return Number::Ok;
}

}  // namespace pytext
}  // namespace dcore
