#include "segy_format.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>

#include "parallel.hpp"
#include "segy_fields.hpp"

namespace dcore {
namespace segy {

namespace {

// Offsets inside the 400-byte binary header and the 240-byte trace header, taken from the field
// tables at compile time: a name missing from its tables throws there, which does not build.
// (Indexes, not find_field's pointers: GCC does not fold the null checks that UBSan adds to those.)
template <std::size_t N>
constexpr std::size_t pos_of(const HeaderField (&table)[N], const char *name, std::size_t otherwise) {
    for (std::size_t i = 0; i < N; ++i)
        if (same_name(table[i].name, name)) return table[i].pos;
    return otherwise;
}
constexpr std::size_t kNoField = ~std::size_t{0};
constexpr std::size_t known(std::size_t pos) { return pos != kNoField ? pos : throw std::logic_error("no such field"); }
constexpr std::size_t binary_pos(const char *name) {
    return known(pos_of(BINARY_FIELDS, name, pos_of(BINARY_REVISION2_FIELDS, name, kNoField)));
}
constexpr std::size_t trace_pos(const char *name) { return known(pos_of(TRACE_FIELDS, name, kNoField)); }

constexpr std::size_t kBinDt = binary_pos("dt");
constexpr std::size_t kBinDtOrig = binary_pos("dtOrig");
constexpr std::size_t kBinNs = binary_pos("ns");
constexpr std::size_t kBinNsOrig = binary_pos("nsOrig");
constexpr std::size_t kBinFormat = binary_pos("DataSampleFormat");
constexpr std::size_t kBinExtNs = binary_pos("ExtSamplesPerTrace");
constexpr std::size_t kBinOrderConstant = binary_pos("ByteOrderConstant");
constexpr std::size_t kBinRevision = binary_pos("SegyFormatRevisionNumber");
constexpr std::size_t kBinFixedLength = binary_pos("FixedLengthTraceFlag");
constexpr std::size_t kBinExtTextHeaders = binary_pos("NumberOfExtTextualHeaders");
constexpr std::size_t kBinAddTraceHeaders = binary_pos("MaxAdditionalTraceHeaders");
constexpr std::size_t kTrNs = trace_pos("ns"), kTrDt = trace_pos("dt");

inline float ibm_bits_to_float(std::uint32_t w) {
    // value = fraction * 2^(4 * exponent - 280): exact in a double, rounded once to single.
    const std::uint32_t fraction = w & 0x00ffffffu;
    const std::uint64_t scale_bits = static_cast<std::uint64_t>(4u * ((w >> 24) & 0x7fu) + 743u) << 52;
    double scale;
    std::memcpy(&scale, &scale_bits, sizeof scale);
    float r = static_cast<float>(static_cast<double>(static_cast<std::int32_t>(fraction)) * scale);
    std::uint32_t rb;
    std::memcpy(&rb, &r, sizeof rb);
    rb |= w & 0x80000000u;
    std::memcpy(&r, &rb, sizeof r);
    return r;
}

template <typename U>
inline U load_raw(const unsigned char *p) {
    U v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint8_t swapped(std::uint8_t v) { return v; }
inline std::uint16_t swapped(std::uint16_t v) { return bswap16(v); }
inline std::uint32_t swapped(std::uint32_t v) { return bswap32(v); }
inline std::uint64_t swapped(std::uint64_t v) { return bswap64(v); }

// The decoders below are inlined into each build of decode_samples.
#define SAMPLE_LOOP inline __attribute__((always_inline))

SAMPLE_LOOP void decode_ibm(const unsigned char *src, std::size_t n, bool swap, float *dst) {
    if (swap) {
        for (std::size_t i = 0; i < n; ++i) dst[i] = ibm_bits_to_float(bswap32(load_raw<std::uint32_t>(src + 4 * i)));
    } else {
        for (std::size_t i = 0; i < n; ++i) dst[i] = ibm_bits_to_float(load_raw<std::uint32_t>(src + 4 * i));
    }
}

// Samples whose element is the stored word itself, in either byte order.
template <typename U>
SAMPLE_LOOP void decode_words(const unsigned char *src, std::size_t n, bool swap, void *dst) {
    if (!swap) {
        std::memcpy(dst, src, n * sizeof(U));
        return;
    }
    auto *out = static_cast<U *>(dst);
    for (std::size_t i = 0; i < n; ++i) out[i] = swapped(load_raw<U>(src + i * sizeof(U)));
}

// 3-byte integers widened to 32 bits, sign-extended when signed.
template <bool Signed>
SAMPLE_LOOP void decode_24(const unsigned char *src, std::size_t n, bool big, void *dst) {
    auto *out = static_cast<std::uint32_t *>(dst);
    const std::size_t hi = big ? 0 : 2, lo = big ? 2 : 0;
    for (std::size_t i = 0; i < n; ++i, src += 3) {
        std::uint32_t v = std::uint32_t{src[hi]} << 16 | std::uint32_t{src[1]} << 8 | src[lo];
        if (Signed) v = static_cast<std::uint32_t>(static_cast<std::int32_t>(v << 8) >> 8);
        out[i] = v;
    }
}

bool is_text_byte_ascii(unsigned char c) {
    return c == 0x20 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_text_byte_ebcdic(unsigned char c) {
    return c == 0x40 || (c >= 0xf0 && c <= 0xf9) || (c >= 0x81 && c <= 0x89) || (c >= 0x91 && c <= 0x99) ||
           (c >= 0xa2 && c <= 0xa9) || (c >= 0xc1 && c <= 0xc9) || (c >= 0xd1 && c <= 0xd9) ||
           (c >= 0xe2 && c <= 0xe9);
}

template <typename T>
void pack_samples(const SampleMatrix &m, std::size_t t0, std::size_t t1, std::size_t trace_bytes,
                  unsigned char *out) {
    auto put = [](unsigned char *dst, T v) {
        float f = static_cast<float>(v);
        std::uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        if (!kHostBig) u = bswap32(u);
        std::memcpy(dst, &u, sizeof u);
    };
    if (m.sample_stride == static_cast<std::ptrdiff_t>(sizeof(T))) {
        // Each trace is contiguous: a straight run per trace.
        for (std::size_t t = t0; t < t1; ++t) {
            const char *src = m.data + static_cast<std::ptrdiff_t>(t) * m.trace_stride;
            unsigned char *dst = out + (t - t0) * trace_bytes + kTraceHeaderBytes;
            for (std::size_t k = 0; k < m.ns; ++k) put(dst + 4 * k, load_raw<T>(reinterpret_cast<const unsigned char *>(src) + k * sizeof(T)));
        }
        return;
    }
    // Samples x traces with traces adjacent: transpose in blocks of traces so that each row piece
    // read is contiguous and the traces being filled stay in cache.
    constexpr std::size_t kBlock = 64;
    for (std::size_t tb = t0; tb < t1; tb += kBlock) {
        const std::size_t te = std::min(t1, tb + kBlock);
        for (std::size_t k = 0; k < m.ns; ++k) {
            const char *row = m.data + static_cast<std::ptrdiff_t>(k) * m.sample_stride;
            unsigned char *dst = out + (tb - t0) * trace_bytes + kTraceHeaderBytes + 4 * k;
            for (std::size_t t = tb; t < te; ++t, dst += trace_bytes)
                put(dst, load_raw<T>(reinterpret_cast<const unsigned char *>(row + static_cast<std::ptrdiff_t>(t) * m.trace_stride)));
        }
    }
}

void write_all(int fd, const unsigned char *buf, std::size_t len, std::size_t offset) {
    std::size_t moved;
    const int err = transfer_all(len, false, [&](std::size_t done) {
        return pwrite(fd, buf + done, len - done, static_cast<off_t>(offset + done));
    }, &moved);
    if (err) throw std::system_error(err, std::generic_category(), "write");
}

}  // namespace

// ---- samples ----------------------------------------------------------------------------------

namespace {

struct FormatInfo {
    int code;
    std::size_t file_bytes, element_bytes;
    const char *type;
};

const FormatInfo kFormats[] = {
    {kIbm, 4, 4, "float32"},    {kInt32, 4, 4, "int32"},    {kInt16, 2, 2, "int16"},
    {kIeee, 4, 4, "float32"},   {kIeee64, 8, 8, "float64"}, {kInt24, 3, 4, "int32"},
    {kInt8, 1, 1, "int8"},      {kInt64, 8, 8, "int64"},    {kUint32, 4, 4, "uint32"},
    {kUint16, 2, 2, "uint16"},  {kUint64, 8, 8, "uint64"},  {kUint24, 3, 4, "uint32"},
    {kUint8, 1, 1, "uint8"},
};

const FormatInfo *format_info(int format) {
    for (const FormatInfo &f : kFormats)
        if (f.code == format) return &f;
    return nullptr;
}

}  // namespace

std::size_t sample_bytes(int format) {
    const FormatInfo *f = format_info(format);
    return f ? f->file_bytes : 0;
}

std::size_t element_bytes(int format) {
    const FormatInfo *f = format_info(format);
    return f ? f->element_bytes : 0;
}

const char *sample_type_name(int format) {
    const FormatInfo *f = format_info(format);
    return f ? f->type : "";
}

float ibm_to_float(std::uint32_t ibm) { return ibm_bits_to_float(ibm); }

std::uint32_t float_to_ibm(float v) {
    std::uint32_t sign = std::signbit(v) ? 0x80000000u : 0u;
    if (std::isnan(v)) return 0x7fffffffu;
    double a = std::fabs(static_cast<double>(v));
    if (a == 0) return sign;
    if (std::isinf(v)) return sign | 0x7fffffffu;
    int e2;
    double m = std::frexp(a, &e2);  // a = m * 2^e2, m in [0.5, 1)
    int e16 = static_cast<int>(std::ceil(e2 / 4.0));
    double f = std::ldexp(m, e2 - 4 * e16);  // in [1/16, 1)
    auto frac = static_cast<std::uint64_t>(std::llround(f * 16777216.0));
    if (frac >= (1u << 24)) {
        frac >>= 4;
        ++e16;
    }
    int e = e16 + 64;
    if (e > 127) return sign | 0x7fffffffu;
    if (e < 0) return sign;
    return sign | (static_cast<std::uint32_t>(e) << 24) | static_cast<std::uint32_t>(frac);
}

// Built three times, for AVX-512 (x86-64-v4), for AVX2 and for any x86-64, and chosen when the
// program loads: the byte swaps and conversions vectorise only with the wider instruction sets.
// The AVX-512 build converts IBM floats in half the time of the AVX2 one, and readSegy of an IBM
// file takes some 8% less time with it.
// Not under ThreadSanitizer: GCC instruments the clone resolver, which the loader runs before
// the sanitizer runtime has started.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#endif
void decode_samples(const unsigned char *src, std::size_t n, int format, bool big, void *dst) {
    const bool swap = big != kHostBig;
    switch (format) {
        case kIbm: decode_ibm(src, n, swap, static_cast<float *>(dst)); return;
        case kInt8: case kUint8: decode_words<std::uint8_t>(src, n, swap, dst); return;
        case kInt16: case kUint16: decode_words<std::uint16_t>(src, n, swap, dst); return;
        case kInt32: case kUint32: case kIeee: decode_words<std::uint32_t>(src, n, swap, dst); return;
        case kInt64: case kUint64: case kIeee64: decode_words<std::uint64_t>(src, n, swap, dst); return;
        case kInt24: decode_24<true>(src, n, big, dst); return;
        case kUint24: decode_24<false>(src, n, big, dst); return;
        default: return;
    }
}

// ---- header fields ----------------------------------------------------------------------------

std::string field_fault(const Field &f) {
    const bool width_ok = f.kind == Kind::real ? (f.bytes == 4 || f.bytes == 8)
                                               : (f.bytes == 1 || f.bytes == 2 || f.bytes == 4 || f.bytes == 8);
    if (!width_ok) return "a " + std::to_string(f.bytes) + "-byte field of that kind cannot be read";
    if (f.pos >= kTraceHeaderBytes || f.pos + f.bytes > kTraceHeaderBytes)
        return "bytes " + std::to_string(f.pos) + " to " + std::to_string(f.pos + f.bytes - 1) +
               " lie outside the 240-byte trace header (positions 0 to 239)";
    return {};
}

void decode_field(const unsigned char *header, bool big, const Field &f, void *out) {
    const unsigned char *p = header + f.pos;
    if (f.kind == Kind::real) {
        std::uint64_t bits = load_uint(p, f.bytes, big);
        if (f.bytes == 4) {
            auto b32 = static_cast<std::uint32_t>(bits);
            std::memcpy(out, &b32, 4);
        } else {
            std::memcpy(out, &bits, 8);
        }
        return;
    }
    std::uint64_t v = load_uint(p, f.bytes, big);  // two's complement: the low bytes are the value
    switch (f.bytes) {
        case 1: { auto x = static_cast<std::uint8_t>(v); std::memcpy(out, &x, 1); break; }
        case 2: { auto x = static_cast<std::uint16_t>(v); std::memcpy(out, &x, 2); break; }
        case 4: { auto x = static_cast<std::uint32_t>(v); std::memcpy(out, &x, 4); break; }
        default: std::memcpy(out, &v, 8); break;
    }
}

// ---- file facts -------------------------------------------------------------------------------

namespace {

// Whether the sample format field holds a code in the order given: 1 to 16, those not assigned or
// no longer readable among them.
bool holds_format_code(const unsigned char *binary, bool big) {
    const std::uint64_t code = load_uint(binary + kBinFormat, 2, big);
    return code >= 1 && code <= 16;
}

}  // namespace

bool binary_header_is_big(const unsigned char *binary) {
    const std::uint64_t order = load_uint(binary + kBinOrderConstant, 4, true);
    if (order == 0x01020304u) return true;
    if (order == 0x04030201u) return false;
    return holds_format_code(binary, true) || !holds_format_code(binary, false);
}

bool text_is_ebcdic(const unsigned char *text, std::size_t n) {
    std::size_t ascii = 0, ebcdic = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ascii += is_text_byte_ascii(text[i]);
        ebcdic += is_text_byte_ebcdic(text[i]);
    }
    return ebcdic >= ascii;
}

namespace {

// Major revision from bytes 3501-3502: a one-byte major and minor from revision 2 on, a 16-bit
// 0x0100 in revision 1 (written in either byte order), sometimes a plain 1 or 2.
int major_revision(const unsigned char *bin) {
    const unsigned char first = bin[kBinRevision], second = bin[kBinRevision + 1];
    return first != 0 ? first : second;
}

void read_exact(const ReadAt &read, std::size_t offset, std::size_t len, unsigned char *buf, std::size_t size) {
    const std::size_t got = read(offset, len, buf);
    if (got < len) throw FileShrank(offset + got, size);
}

constexpr char kStopped[] = "stopped before the extended textual headers were counted";

// Sample count, trace length and trace count of a file whose traces start at `data_offset`.
std::string trace_layout(const ReadAt &read, std::size_t size, std::size_t data_offset, FileFacts &f) {
    const unsigned char *bin = f.head + kTextBytes;
    f.data_offset = data_offset;
    if (size < data_offset)
        return "the file holds " + std::to_string(size) + " bytes, fewer than the " + std::to_string(data_offset) +
               " bytes of its textual, binary and " + std::to_string(f.extended_headers) +
               " extended textual headers";
    f.ns = load_uint(bin + kBinNs, 2, f.big);
    if (f.ns == 0 && f.revision >= 2) f.ns = load_uint(bin + kBinExtNs, 4, f.big);
    if (f.ns == 0 && size >= data_offset + kTraceHeaderBytes) {
        unsigned char ns[2];
        read_exact(read, data_offset + kTrNs, 2, ns, size);
        f.ns = load_uint(ns, 2, f.big);
    }
    if (f.ns == 0) return "the sample count is 0 in the binary header and in the first trace header";
    f.trace_bytes = kTraceHeaderBytes + f.ns * sample_bytes(f.format);
    const std::size_t rest = size - data_offset;
    if (rest % f.trace_bytes != 0)
        return "the trace length of " + std::to_string(f.trace_bytes) + " bytes (240-byte header and " +
               std::to_string(f.ns) + " samples of " + std::to_string(sample_bytes(f.format)) +
               " bytes) does not divide the " + std::to_string(rest) + " bytes after the file headers";
    f.ntraces = rest / f.trace_bytes;
    return {};
}

char ebcdic_to_ascii(unsigned char c) {
    if (c >= 0x81 && c <= 0x89) return static_cast<char>('a' + (c - 0x81));
    if (c >= 0x91 && c <= 0x99) return static_cast<char>('j' + (c - 0x91));
    if (c >= 0xa2 && c <= 0xa9) return static_cast<char>('s' + (c - 0xa2));
    if (c >= 0xc1 && c <= 0xc9) return static_cast<char>('A' + (c - 0xc1));
    if (c >= 0xd1 && c <= 0xd9) return static_cast<char>('J' + (c - 0xd1));
    if (c >= 0xe2 && c <= 0xe9) return static_cast<char>('S' + (c - 0xe2));
    switch (c) {
        case 0x40: return ' ';
        case 0x05: return '\t';
        case 0x4d: return '(';
        case 0x5d: return ')';
        case 0x7a: return ':';
        default: return '\x01';
    }
}

// A character of a textual record: in ASCII the printable ones (Latin-1 letters and signs
// included), tab, line feed and carriage return; in EBCDIC the graphics of code page 037, tab, new
// line, line feed and carriage return. Bytes below 0x20 (ASCII) or 0x40 (EBCDIC), which the
// small integers of a trace header are full of, are none.
constexpr bool is_ascii_char(unsigned char c) { return (c >= 0x20 && c <= 0x7e) || c >= 0xa0 || c == 0x09 || c == 0x0a || c == 0x0d; }
constexpr bool is_ebcdic_char(unsigned char c) { return (c >= 0x40 && c <= 0xfe) || c == 0x05 || c == 0x15 || c == 0x25 || c == 0x0d; }

// The bytes that are no character in ASCII (bit 0) and in EBCDIC (bit 1), looked up a byte at a time.
struct OddBytes {
    unsigned char of[256] = {};
    constexpr OddBytes() {
        for (int c = 0; c < 256; ++c)
            of[c] = static_cast<unsigned char>((is_ascii_char(static_cast<unsigned char>(c)) ? 0 : 1) |
                                               (is_ebcdic_char(static_cast<unsigned char>(c)) ? 0 : 2));
    }
};
constexpr OddBytes kOdd;

// A 3200-byte record is text where at most one of its bytes in 80 (one an 80-character line,
// rounded up: at most 40 bytes) is no character of one of the two encodings, counted over its bytes
// before the zero bytes that may pad it to its end (segyio leaves a record it was given a shorter
// text for so; zero bytes inside it count), and where more than 4 bytes precede that padding. Text
// written by programs carries a few such bytes: a NUL, an EBCDIC 0xFF, the quotes of Windows-1252
// (UTF-8 characters, of any alphabet, are characters on the ASCII side). A trace is far beyond the
// bound: its 240-byte header alone holds dozens of zero bytes inside and between its small or unused
// 2- and 4-byte integers, and about a quarter of sample bytes of any value are no character in
// either encoding. A trace of IBM samples that are mostly 0x40 (the EBCDIC blank, the exponent byte
// of small values) still has such a header. A dead trace, zeros but for a field or two of its
// header, is a few bytes, mostly zero, before zeros to the record's end: its first 80 bytes may hold
// one byte that is no character, and where the header holds its first field alone, the 4-byte trace
// sequence number, no more than 4 bytes precede the zeros (65 is 0x00000041, or 'A' little-endian).
constexpr std::size_t kMaxOddBytes = 40;
constexpr std::size_t kLineBytes = kTextBytes / kMaxOddBytes;
constexpr std::size_t kLoneFieldBytes = 4;

// The most extended textual headers a binary header can declare (its 2-byte count): a variable
// number is looked for in no more records.
constexpr std::size_t kMostTextRecords = 32767;

// The records after a revision-0 file's record at 3600 that is no text searched for a text record
// holding the stanza, which shows extended textual headers from 3600 (the first damaged or left
// zero) rather than traces. The stanzas a writer puts there take a record or a few; 8 records, 25.6
// KB, cost a file whose -1 is noise less than a fortieth of one of the 1 MB reads of its traces.
// Traces give no such record but in samples that read as text for 3200 bytes and hold the stanza.
constexpr std::size_t kStanzaLookAhead = 8;

struct RecordText {
    bool text = false;
    std::size_t len = 0;         // bytes before the zero bytes that pad it to its end
    std::size_t bound = 0;       // the bytes text of that length may hold that are no character
    std::size_t odd_at = 0;      // no text: the byte past the bound in the encoding that got further
    unsigned char odd_byte = 0;  // and its value
};

// The continuation bytes of the UTF-8 character that `p` starts (1 to 3), or 0 where `p` starts
// none: text written as UTF-8 reads as characters on the ASCII side, whatever its alphabet. Only
// the forms of RFC 3629: no overlong form (C0, C1, E0 80-9F, F0 80-8F), no surrogate (ED A0-BF),
// nothing past U+10FFFF (F4 90-BF, F5-FF).
std::size_t utf8_continuations(const unsigned char *p, std::size_t n) {
    const unsigned char c = p[0];
    if (c < 0xc2 || c > 0xf4) return 0;
    const std::size_t more = c <= 0xdf ? 1 : c <= 0xef ? 2 : 3;
    if (more >= n) return 0;
    const unsigned char lo = c == 0xe0 ? 0xa0 : c == 0xf0 ? 0x90 : 0x80;
    const unsigned char hi = c == 0xed ? 0x9f : c == 0xf4 ? 0x8f : 0xbf;
    if (p[1] < lo || p[1] > hi) return 0;
    for (std::size_t k = 2; k <= more; ++k)
        if (p[k] < 0x80 || p[k] > 0xbf) return 0;
    return more;
}

// Whether a record is text (see kMaxOddBytes).
RecordText text_of_record(const unsigned char *record, std::size_t n) {
    RecordText r;
    std::size_t len = n;
    while (len > 0 && record[len - 1] == 0) --len;
    r.len = len;
    r.bound = std::min(kMaxOddBytes, (len + kLineBytes - 1) / kLineBytes);
    if (len <= kLoneFieldBytes) return r;
    std::size_t odd[2] = {0, 0}, past[2] = {len, len};  // per encoding: count, the byte past the bound
    std::size_t utf8_until = 0;  // the bytes before it continue a UTF-8 character: text on the ASCII side
    for (std::size_t i = 0; i < len; ++i) {
        if (i >= utf8_until) {
            const std::size_t more = utf8_continuations(record + i, len - i);
            if (more) utf8_until = i + 1 + more;
        }
        const unsigned char o = kOdd.of[record[i]] & (i < utf8_until ? 2 : 3);
        if (!o) continue;
        for (int e = 0; e < 2; ++e)
            if ((o >> e & 1) && ++odd[e] == r.bound + 1) past[e] = i;
        if (past[0] < len && past[1] < len) {
            r.odd_at = std::max(past[0], past[1]);
            r.odd_byte = record[r.odd_at];
            return r;
        }
    }
    r.text = true;
    return r;
}

// The records from byte 3600 of a file whose binary header announces a variable number (-1) of
// extended textual headers, walked as inspect_file says: `text` records, then the end stanza
// (`stanza`), a record that is no text, the end of the file, or the bound; in a revision-0 file
// whose record at 3600 is no text, the kStanzaLookAhead records after it are searched for a text
// record holding the stanza. Reads those records, no more. `poll` is asked before each record;
// false once it said yes.
struct TextWalk {
    std::size_t text = 0;
    bool stanza = false;        // record `text` holds the end stanza
    bool file_ends = false;     // fewer than 3200 bytes follow the text records
    bool too_many = false;      // kMostTextRecords text records and more of the file after them
    RecordText after_text;      // what the record after the text is when it is no text
    std::size_t stanza_ahead = 0;  // the text record holding the stanza found after it, or 0
    std::size_t after() const { return kFileHeaderBytes + kTextBytes * text; }  // offset past the text records
};

bool walk_text(const ReadAt &read, std::size_t size, bool old, StopPoll &poll, TextWalk *w) {
    std::vector<unsigned char> record(kTextBytes);
    enum class Next { record, file_ends, stopped };
    const auto next = [&](std::size_t offset) {
        if (offset + kTextBytes > size) return Next::file_ends;
        if (poll()) return Next::stopped;
        read_exact(read, offset, kTextBytes, record.data(), size);
        return Next::record;
    };
    for (;; ++w->text) {
        if (w->text == kMostTextRecords && w->after() + kTextBytes <= size) {
            w->too_many = true;
            return true;
        }
        const Next got = next(w->after());
        if (got != Next::record) {
            w->file_ends = got == Next::file_ends;
            return w->file_ends;
        }
        // A trace may hold those bytes: in a revision-0 file only a text record ends the walk so.
        const bool stanza = holds_end_stanza(record.data(), kTextBytes);
        const RecordText text = text_of_record(record.data(), kTextBytes);
        if (stanza && (text.text || !old)) {
            w->stanza = true;
            return true;
        }
        if (!text.text) {
            w->after_text = text;
            break;
        }
    }
    if (!old || w->text > 0) return true;
    for (std::size_t k = 1; k <= kStanzaLookAhead; ++k) {
        const std::size_t offset = kFileHeaderBytes + kTextBytes * k;
        const Next got = next(offset);
        if (got != Next::record) return got == Next::file_ends;
        if (holds_end_stanza(record.data(), kTextBytes) && text_of_record(record.data(), kTextBytes).text) {
            w->stanza_ahead = offset;
            return true;
        }
    }
    return true;
}

std::string hex_byte(unsigned char c) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[c >> 4] + digits[c & 15];
}

// Why the record at `at` is no text, as its fault says it in parentheses.
std::string why_no_text(const RecordText &r, std::size_t at) {
    if (r.len == 0) return "zero bytes only";
    const std::string before_zeros = std::to_string(r.len) + (r.len == 1 ? " byte" : " bytes") + " before zero bytes to its end";
    if (r.len <= kLoneFieldBytes) return "only " + before_zeros + ", too few for text";
    return "by byte " + std::to_string(at + r.odd_at) + ", " + hex_byte(r.odd_byte) + ", " +
           std::to_string(r.bound + 1) + " of its bytes are no character in either encoding, text has at most " +
           std::to_string(r.bound) + (r.bound < kMaxOddBytes ? " in " + before_zeros : "");
}

// What the file holds from byte 3600 where a walk found no end stanza, as "the file holds ...".
std::string text_found(const TextWalk &w, std::size_t size) {
    const std::size_t tail = size - w.after();
    const std::string records = std::to_string(w.text) + (w.text == 1 ? " text record" : " text records") +
                                " from byte 3600 without the stanza ((SEG: EndText))";
    if (w.too_many)
        return records + " and more after them, more extended textual headers than a binary header can declare";
    const std::string s = w.text > 0 ? records + ", then " : "";
    if (!w.file_ends)
        return s + "a record that is no text at byte " + std::to_string(w.after()) + " (" +
               why_no_text(w.after_text, w.after()) + ")" +
               (w.stanza_ahead ? ", though the text record at byte " + std::to_string(w.stanza_ahead) +
                                     " holds the stanza ((SEG: EndText)): extended textual headers, not traces, "
                                     "but not all of them text"
                               : "");
    if (w.text == 0)
        return tail ? "only " + std::to_string(tail) + " bytes after the binary header, fewer than a record"
                    : "nothing after the binary header";
    return s + (tail ? std::to_string(tail) + " more bytes, fewer than a record" : "the end of the file");
}

}  // namespace

FileShrank::FileShrank(std::size_t at_, std::size_t expected_)
    : std::runtime_error("the file came to an end at byte " + std::to_string(at_) + " of the " +
                         std::to_string(expected_) +
                         " bytes it held when it was opened; another program may have truncated it"),
      at(at_), expected(expected_) {}

ReadAt memory_reader(const unsigned char *data, std::size_t size) {
    return [data, size](std::size_t offset, std::size_t len, unsigned char *buf) -> std::size_t {
        if (offset >= size) return 0;
        const std::size_t n = std::min(len, size - offset);
        std::memcpy(buf, data + offset, n);
        return n;
    };
}

bool holds_end_stanza(const unsigned char *record, std::size_t n) {
    static const char kStanza[] = "((SEG:ENDTEXT))";
    constexpr std::size_t kLength = sizeof kStanza - 1;
    for (bool ebcdic : {false, true}) {
        const unsigned char open = ebcdic ? 0x4d : '(';
        const unsigned char *end = record + n;
        for (const unsigned char *p = record; (p = static_cast<const unsigned char *>(std::memchr(p, open, end - p)));
             ++p) {
            std::size_t k = 0;
            for (const unsigned char *q = p; q < end && k < kLength; ++q) {
                char c = ebcdic ? ebcdic_to_ascii(*q) : static_cast<char>(*q);
                if (c == ' ' || c == '\t') continue;
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                if (c != kStanza[k]) break;
                ++k;
            }
            if (k == kLength) return true;
        }
    }
    return false;
}

std::string inspect_file(const ReadAt &read, std::size_t size, FileFacts *out, const ShouldStop &stop) {
    StopPoll poll(stop);
    FileFacts f;
    f.size = size;
    if (size < kFileHeaderBytes)
        return "the file holds " + std::to_string(size) +
               " bytes, fewer than the 3600 bytes of its textual and binary headers";
    read_exact(read, 0, kFileHeaderBytes, f.head, size);
    const unsigned char *bin = f.head + kTextBytes;
    f.big = binary_header_is_big(bin);
    f.ebcdic = text_is_ebcdic(f.head, kTextBytes);
    const std::int64_t format = load_int(bin + kBinFormat, 2, f.big);
    f.format = static_cast<int>(format);
    if (format == kFixedGain)
        return "sample format code 4 (4-byte fixed point with gain, obsolete) cannot be read";
    static const char kReadable[] =
        " (readable: 1 IBM float, 2 int32, 3 int16, 5 IEEE float, 6 IEEE double, 7 int24, 8 int8, 9 int64, "
        "10 uint32, 11 uint16, 12 uint64, 15 uint24, 16 uint8)";
    if (!holds_format_code(bin, true) && !holds_format_code(bin, false))
        return "not a SEG-Y file: bytes " + std::to_string(kTextBytes + kBinFormat + 1) + "-" +
               std::to_string(kTextBytes + kBinFormat + 2) +
               ", where the binary header holds the sample format code, hold " +
               hex_byte(bin[kBinFormat]) + " " + hex_byte(bin[kBinFormat + 1]) + " (" +
               std::to_string(load_int(bin + kBinFormat, 2, true)) + " read big-endian, " +
               std::to_string(load_int(bin + kBinFormat, 2, false)) +
               " little-endian), which is no format code in either byte order" + kReadable;
    if (sample_bytes(f.format) == 0)
        return "unknown sample format code " + std::to_string(format) + " in the binary header" + kReadable;
    f.revision = major_revision(bin);
    if (f.revision >= 2) {
        const std::uint64_t extra = load_uint(bin + kBinAddTraceHeaders, 4, f.big);
        if (extra != 0)
            return "the binary header declares " + std::to_string(extra) +
                   " additional 240-byte trace headers after each trace header (SEG-Y revision 2), "
                   "which cannot be read";
    }
    const std::int64_t declared = load_int(bin + kBinExtTextHeaders, 2, f.big);
    std::string fault;
    if (declared == -1) {
        // A variable number, read as the comment on inspect_file in segy_format.hpp says.
        TextWalk walk;
        if (!walk_text(read, size, f.revision == 0, poll, &walk)) return kStopped;
        std::string read_as;  // what the layout's fault adds about the start of the traces
        if (walk.stanza) {
            f.extended_headers = walk.text + 1;
            read_as = " (the traces taken to follow " + std::to_string(f.extended_headers) +
                      " extended textual headers from byte 3600 up to the stanza ((SEG: EndText)))";
        } else if (f.revision == 0 && walk.text == 0 && !walk.stanza_ahead) {
            read_as = " (the traces taken to start at byte 3600: this revision-0 file's count of -1 extended textual "
                      "headers is noise, the file holds " + text_found(walk, size) + ")";
        } else {
            return "the binary header announces a variable number of extended textual headers (count -1, ended by "
                   "the stanza ((SEG: EndText))), but the file holds " + text_found(walk, size);
        }
        fault = trace_layout(read, size, kFileHeaderBytes + kTextBytes * f.extended_headers, f);
        if (!fault.empty()) fault += read_as;
    } else if (declared >= 0 || f.revision == 0) {
        // Before revision 1 a negative count is noise; a positive one that does not fit the file
        // while the file fits without it is ignored.
        f.extended_headers = declared > 0 ? static_cast<std::size_t>(declared) : 0;
        fault = trace_layout(read, size, kFileHeaderBytes + kTextBytes * f.extended_headers, f);
        if (!fault.empty() && f.revision == 0 && declared > 0) {
            FileFacts plain = f;
            plain.extended_headers = 0;
            if (trace_layout(read, size, kFileHeaderBytes, plain).empty()) {
                f = plain;
                fault.clear();
            }
        }
    } else {
        return "the binary header gives " + std::to_string(declared) +
               " extended textual headers (a count, or -1 for a number ended by ((SEG: EndText)))";
    }
    if (!fault.empty()) return fault;
    *out = f;
    return {};
}

std::string inspect_file(const unsigned char *data, std::size_t size, FileFacts *out, const ShouldStop &stop) {
    return inspect_file(memory_reader(data, size), size, out, stop);
}

// ---- reading ----------------------------------------------------------------------------------

bool read_traces(const ReadAt &read, const FileFacts &facts, void *samples, const Field *fields,
                 void *const *outs, std::size_t nfields, const ShouldStop &stop) {
    const std::size_t tb = facts.trace_bytes, n = facts.ntraces;
    const std::size_t expected = facts.data_offset + n * tb;
    const auto decode_fields = [&](const unsigned char *header, std::size_t t) {
        for (std::size_t i = 0; i < nfields; ++i)
            decode_field(header, facts.big, fields[i], static_cast<unsigned char *>(outs[i]) + t * fields[i].bytes);
    };
    if (!samples) {
        // The headers alone: one positioned read of 240 bytes a trace, in pieces of at most 4096
        // headers that span at most 8 MB of the file between two stop checks. The last byte of a
        // piece's last trace is read as well, so that a file that ends early fails as a full read
        // of it does.
        const std::size_t piece = std::max<std::size_t>(1, std::min<std::size_t>(4096, (std::size_t{8} << 20) / tb));
        return pieces_in_turn(
            (n + piece - 1) / piece, worker_count(n, piece),
            [&](unsigned, std::size_t p) {
                const std::size_t t0 = p * piece, t1 = std::min(n, t0 + piece);
                unsigned char header[kTraceHeaderBytes];
                for (std::size_t t = t0; t < t1; ++t) {
                    const std::size_t offset = facts.data_offset + t * tb;
                    const std::size_t got = read(offset, kTraceHeaderBytes, header);
                    if (got < kTraceHeaderBytes) throw FileShrank(offset + got, expected);
                    decode_fields(header, t);
                }
                const std::size_t last = facts.data_offset + t1 * tb - 1;
                if (read(last, 1, header) < 1) throw FileShrank(last, expected);
            },
            stop);
    }
    const std::size_t out_bytes = facts.ns * element_bytes(facts.format);
    auto *out = static_cast<unsigned char *>(samples);
    // A piece is the traces whose samples start in one 2 MB page of the result. The kernel zeroes
    // such a huge page when it is first written; where two workers first write a page at once,
    // both zero one and one of them is thrown away. Pieces of 1 MB of the file, which share
    // pages, took a tenth longer for 1 GB and a fifth longer for 0.25 GB. Where the samples are
    // much smaller than the traces, a piece is part of a page, so that it reads at most 8 MB
    // between two stop checks.
    std::size_t span = std::size_t{2} << 20;
    while (span > out_bytes && span / out_bytes * tb > (std::size_t{8} << 20)) span /= 2;
    const auto base = reinterpret_cast<std::uintptr_t>(out);
    const std::uintptr_t first_edge = (base / span + 1) * span, end = base + n * out_bytes;
    const std::size_t npieces = n == 0 ? 0 : end <= first_edge ? 1 : 1 + (end - first_edge + span - 1) / span;
    // First trace of piece k: the first whose samples start at or after the k-th page edge (a
    // piece is empty where one trace's samples cover a whole page).
    const auto first_trace = [&](std::size_t k) -> std::size_t {
        return k == 0 ? 0 : std::min(n, (first_edge + (k - 1) * span - base + out_bytes - 1) / out_bytes);
    };
    // Reads of about 1 MB: large enough that a read costs little, small enough to stay in cache
    // between the read and the decoding. Workers take pieces in turn until none is left.
    const std::size_t chunk = std::max<std::size_t>(1, (1u << 20) / tb);
    const unsigned workers = worker_count(npieces, 1);
    std::vector<std::unique_ptr<unsigned char[]>> bufs(workers);
    return pieces_in_turn(
        npieces, workers,
        [&](unsigned w, std::size_t p) {
            if (!bufs[w]) bufs[w].reset(new unsigned char[std::min(chunk, n) * tb]);
            unsigned char *buf = bufs[w].get();
            const std::size_t piece_end = first_trace(p + 1);
            for (std::size_t t0 = first_trace(p); t0 < piece_end; t0 += chunk) {
                const std::size_t t1 = std::min(piece_end, t0 + chunk);
                const std::size_t offset = facts.data_offset + t0 * tb, len = (t1 - t0) * tb;
                const std::size_t got = read(offset, len, buf);
                if (got < len) throw FileShrank(offset + got, expected);
                for (std::size_t t = t0; t < t1; ++t) {
                    const unsigned char *tr = buf + (t - t0) * tb;
                    decode_fields(tr, t);
                    decode_samples(tr + kTraceHeaderBytes, facts.ns, facts.format, facts.big, out + t * out_bytes);
                }
            }
        },
        stop);
}

InputFile::InputFile(const std::string &path) {
    // Never blocks in open(), not even on a FIFO without a writer.
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    struct stat st;
    if (fstat(fd_, &st) != 0) {
        error_ = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error_ = EISDIR;
    } else if (S_ISREG(st.st_mode)) {
        regular_ = true;
        size_ = static_cast<std::size_t>(st.st_size);
    }
}

InputFile::~InputFile() {
    if (fd_ >= 0) close(fd_);
}

ReadAt InputFile::reader() const {
    const int fd = fd_;
    return [fd](std::size_t offset, std::size_t len, unsigned char *buf) -> std::size_t {
        std::size_t done;
        const int err = transfer_all(len, true, [&](std::size_t from) {
            return pread(fd, buf + from, len - from, static_cast<off_t>(offset + from));
        }, &done);
        if (err) throw std::system_error(err, std::generic_category(), "read");
        return done;
    };
}

// ---- writing ----------------------------------------------------------------------------------

std::int64_t fit_values(const double *in, std::size_t n, std::size_t bytes, bool is_signed, std::int64_t *out) {
    const double span = std::ldexp(1.0, static_cast<int>(8 * bytes));
    // The results are int64: an unsigned 8-byte field takes values below 2^63 only.
    const double lo = is_signed ? -span / 2 : 0.0;
    const double hi = std::min(is_signed ? span / 2 : span, std::ldexp(1.0, 63));  // exclusive
    for (std::size_t i = 0; i < n; ++i) {
        const double r = std::round(in[i]);
        if (!(r >= lo && r < hi)) return static_cast<std::int64_t>(i);
        out[i] = static_cast<std::int64_t>(r);
    }
    return -1;
}

void encode_binary_header(unsigned char *out, std::size_t ns, std::uint16_t dt) {
    std::memset(out, 0, kBinaryBytes);
    store_uint(out + kBinDt, dt, 2, true);
    store_uint(out + kBinDtOrig, dt, 2, true);
    store_uint(out + kBinNs, ns, 2, true);
    store_uint(out + kBinNsOrig, ns, 2, true);
    store_uint(out + kBinFormat, kIeee, 2, true);
    store_uint(out + kBinRevision, 0x0100, 2, true);
    store_uint(out + kBinFixedLength, 1, 2, true);
    store_uint(out + kBinExtTextHeaders, 0, 2, true);
}

void pack_traces(const SampleMatrix &m, std::size_t t0, std::size_t t1, const Column *cols, std::size_t ncols,
                 std::uint16_t dt, unsigned char *out) {
    const std::size_t tb = kTraceHeaderBytes + 4 * m.ns;
    for (std::size_t t = t0; t < t1; ++t) {
        unsigned char *h = out + (t - t0) * tb;
        std::memset(h, 0, kTraceHeaderBytes);
        for (std::size_t c = 0; c < ncols; ++c)
            store_uint(h + cols[c].pos, static_cast<std::uint64_t>(cols[c].values[t]), cols[c].bytes, true);
        store_uint(h + kTrNs, m.ns, 2, true);
        store_uint(h + kTrDt, dt, 2, true);
    }
    switch (m.elem) {
        case Elem::f32: pack_samples<float>(m, t0, t1, tb, out); break;
        case Elem::f64: pack_samples<double>(m, t0, t1, tb, out); break;
        case Elem::i8: pack_samples<std::int8_t>(m, t0, t1, tb, out); break;
        case Elem::i16: pack_samples<std::int16_t>(m, t0, t1, tb, out); break;
        case Elem::i32: pack_samples<std::int32_t>(m, t0, t1, tb, out); break;
        case Elem::i64: pack_samples<std::int64_t>(m, t0, t1, tb, out); break;
        case Elem::u8: pack_samples<std::uint8_t>(m, t0, t1, tb, out); break;
        case Elem::u16: pack_samples<std::uint16_t>(m, t0, t1, tb, out); break;
        case Elem::u32: pack_samples<std::uint32_t>(m, t0, t1, tb, out); break;
        case Elem::u64: pack_samples<std::uint64_t>(m, t0, t1, tb, out); break;
    }
}

bool write_traces(int fd, const unsigned char *file_header, const SampleMatrix &m, const Column *cols,
                  std::size_t ncols, std::uint16_t dt, const ShouldStop &stop) {
    write_all(fd, file_header, kFileHeaderBytes, 0);
    const std::size_t tb = kTraceHeaderBytes + 4 * m.ns;
    // Pieces of about 1 MB, packed and written by the workers in turn: small enough that a write
    // held up by the kernel's write-back throttling keeps a stop waiting only briefly.
    const std::size_t piece = std::max<std::size_t>(1, (1u << 20) / tb);
    const std::size_t npieces = (m.ntraces + piece - 1) / piece;
    const unsigned workers = worker_count(m.ntraces, piece);
    std::vector<std::vector<unsigned char>> bufs(workers);
    return pieces_in_turn(
        npieces, workers,
        [&](unsigned w, std::size_t p) {
            const std::size_t t0 = p * piece, t1 = std::min(m.ntraces, t0 + piece);
            std::vector<unsigned char> &buf = bufs[w];
            if (buf.empty()) buf.resize(std::min(piece, m.ntraces) * tb);
            pack_traces(m, t0, t1, cols, ncols, dt, buf.data());
            write_all(fd, buf.data(), (t1 - t0) * tb, kFileHeaderBytes + t0 * tb);
        },
        stop);
}

}  // namespace segy
}  // namespace dcore
