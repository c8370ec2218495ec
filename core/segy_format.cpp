#include "segy_format.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <system_error>

#include "parallel.hpp"

namespace dcore {
namespace segy {

namespace {

// Offsets inside the 400-byte binary header.
constexpr std::size_t kBinDt = 16, kBinDtOrig = 18, kBinNs = 20, kBinNsOrig = 22, kBinFormat = 24;
constexpr std::size_t kBinExtNs = 68, kBinOrderConstant = 96, kBinRevision = 300, kBinFixedLength = 302,
                      kBinExtTextHeaders = 304;
// Offsets inside the 240-byte trace header.
constexpr std::size_t kTrNs = 114, kTrDt = 116;

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

inline std::uint16_t maybe_swap(std::uint16_t v, bool swap) { return swap ? bswap16(v) : v; }
inline std::uint32_t maybe_swap(std::uint32_t v, bool swap) { return swap ? bswap32(v) : v; }

void decode_ibm(const unsigned char *src, std::size_t n, bool swap, float *dst) {
    if (swap) {
        for (std::size_t i = 0; i < n; ++i) dst[i] = ibm_bits_to_float(bswap32(load_raw<std::uint32_t>(src + 4 * i)));
    } else {
        for (std::size_t i = 0; i < n; ++i) dst[i] = ibm_bits_to_float(load_raw<std::uint32_t>(src + 4 * i));
    }
}

void decode_swapped32(const unsigned char *src, std::size_t n, void *dst) {
    auto *out = static_cast<std::uint32_t *>(dst);
    for (std::size_t i = 0; i < n; ++i) out[i] = bswap32(load_raw<std::uint32_t>(src + 4 * i));
}

void decode_swapped16(const unsigned char *src, std::size_t n, void *dst) {
    auto *out = static_cast<std::uint16_t *>(dst);
    for (std::size_t i = 0; i < n; ++i) out[i] = bswap16(load_raw<std::uint16_t>(src + 2 * i));
}

std::size_t page_size() {
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

// Drops the whole pages inside [begin, end) of a read-only file mapping from this process.
void release_range(const unsigned char *begin, const unsigned char *end) {
    const std::size_t ps = page_size();
    auto lo = (reinterpret_cast<std::uintptr_t>(begin) + ps - 1) / ps * ps;
    auto hi = reinterpret_cast<std::uintptr_t>(end) / ps * ps;
    if (hi > lo) madvise(reinterpret_cast<void *>(lo), hi - lo, MADV_DONTNEED);
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
    while (len > 0) {
        ssize_t w = pwrite(fd, buf, len, static_cast<off_t>(offset));
        if (w < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "write");
        }
        if (w == 0) throw std::system_error(EIO, std::generic_category(), "write");
        buf += w;
        len -= static_cast<std::size_t>(w);
        offset += static_cast<std::size_t>(w);
    }
}

}  // namespace

// ---- samples ----------------------------------------------------------------------------------

std::size_t sample_bytes(int format) {
    switch (format) {
        case kIbm: case kInt32: case kIeee: return 4;
        case kInt16: return 2;
        case kInt8: return 1;
        default: return 0;
    }
}

const char *sample_type_name(int format) {
    switch (format) {
        case kIbm: case kIeee: return "float32";
        case kInt32: return "int32";
        case kInt16: return "int16";
        case kInt8: return "int8";
        default: return "";
    }
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

void decode_samples(const unsigned char *src, std::size_t n, int format, bool big, void *dst) {
    const bool swap = big != kHostBig;
    switch (format) {
        case kIbm:
            decode_ibm(src, n, swap, static_cast<float *>(dst));
            return;
        case kIeee:
        case kInt32:
            if (swap) decode_swapped32(src, n, dst);
            else std::memcpy(dst, src, 4 * n);
            return;
        case kInt16:
            if (swap) decode_swapped16(src, n, dst);
            else std::memcpy(dst, src, 2 * n);
            return;
        case kInt8:
            std::memcpy(dst, src, n);
            return;
        default:
            return;
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

bool binary_header_is_big(const unsigned char *binary) {
    const std::uint64_t order = load_uint(binary + kBinOrderConstant, 4, true);
    if (order == 0x01020304u) return true;
    if (order == 0x04030201u) return false;
    const std::uint64_t be = load_uint(binary + kBinFormat, 2, true);
    if (be >= 1 && be <= 16) return true;
    const std::uint64_t le = load_uint(binary + kBinFormat, 2, false);
    if (le >= 1 && le <= 16) return false;
    return true;
}

bool text_is_ebcdic(const unsigned char *text, std::size_t n) {
    std::size_t ascii = 0, ebcdic = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ascii += is_text_byte_ascii(text[i]);
        ebcdic += is_text_byte_ebcdic(text[i]);
    }
    return ebcdic >= ascii;
}

std::string inspect_file(const unsigned char *data, std::size_t size, FileFacts *out) {
    FileFacts f;
    if (size < kFileHeaderBytes)
        return "the file holds " + std::to_string(size) +
               " bytes, fewer than the 3600 bytes of its textual and binary headers";
    const unsigned char *bin = data + kTextBytes;
    f.big = binary_header_is_big(bin);
    f.ebcdic = text_is_ebcdic(data, kTextBytes);
    const std::int64_t format = load_int(bin + kBinFormat, 2, f.big);
    f.format = static_cast<int>(format);
    if (sample_bytes(f.format) == 0)
        return "unknown sample format code " + std::to_string(format) +
               " in the binary header (readable: 1 IBM float, 2 int32, 3 int16, 5 IEEE float, 8 int8)";
    const std::uint64_t revision = load_uint(bin + kBinRevision, 2, f.big);
    // Bytes 3505-3506 were unassigned before revision 1: honour them only from revision 1 on.
    if (revision >= 0x0100) {
        const std::int64_t ext = load_int(bin + kBinExtTextHeaders, 2, f.big);
        if (ext < 0)
            return "a variable number of extended textual headers (" + std::to_string(ext) + ") is not supported";
        f.extended_headers = static_cast<std::size_t>(ext);
    }
    f.data_offset = kFileHeaderBytes + kTextBytes * f.extended_headers;
    if (size < f.data_offset)
        return "the file holds " + std::to_string(size) + " bytes, fewer than the " + std::to_string(f.data_offset) +
               " bytes of its textual, binary and " + std::to_string(f.extended_headers) +
               " extended textual headers";
    f.ns = load_uint(bin + kBinNs, 2, f.big);
    if (f.ns == 0 && revision >= 0x0200) f.ns = load_uint(bin + kBinExtNs, 4, f.big);
    if (f.ns == 0 && size >= f.data_offset + kTraceHeaderBytes)
        f.ns = load_uint(data + f.data_offset + kTrNs, 2, f.big);
    if (f.ns == 0) return "the sample count is 0 in the binary header and in the first trace header";
    f.trace_bytes = kTraceHeaderBytes + f.ns * sample_bytes(f.format);
    const std::size_t rest = size - f.data_offset;
    if (rest % f.trace_bytes != 0)
        return "the trace length of " + std::to_string(f.trace_bytes) + " bytes (240-byte header and " +
               std::to_string(f.ns) + " samples of " + std::to_string(sample_bytes(f.format)) +
               " bytes) does not divide the " + std::to_string(rest) + " bytes after the file headers";
    f.ntraces = rest / f.trace_bytes;
    *out = f;
    return {};
}

// ---- reading ----------------------------------------------------------------------------------

void read_traces(const unsigned char *file, const FileFacts &facts, void *samples, const Field *fields,
                 void *const *outs, std::size_t nfields, bool release_pages) {
    const std::size_t tb = facts.trace_bytes;
    const std::size_t out_bytes = facts.ns * (facts.format == kIbm ? 4 : sample_bytes(facts.format));
    const std::size_t min_traces = std::max<std::size_t>(1, (1u << 20) / tb);
    // Pages are released after each piece of about 8 MB.
    const std::size_t piece = std::max<std::size_t>(1, (8u << 20) / tb);
    const unsigned char *first = file + facts.data_offset;
    auto *out = static_cast<unsigned char *>(samples);
    parallel_for(facts.ntraces, min_traces, [&](std::size_t begin, std::size_t end) {
        for (std::size_t p = begin; p < end; p += piece) {
            const std::size_t q = std::min(end, p + piece);
            for (std::size_t t = p; t < q; ++t) {
                const unsigned char *tr = first + t * tb;
                for (std::size_t i = 0; i < nfields; ++i)
                    decode_field(tr, facts.big, fields[i],
                                 static_cast<unsigned char *>(outs[i]) + t * fields[i].bytes);
                decode_samples(tr + kTraceHeaderBytes, facts.ns, facts.format, facts.big, out + t * out_bytes);
            }
            if (release_pages) release_range(first + p * tb, first + q * tb);
        }
    });
}

MappedFile::MappedFile(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        error_ = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error_ = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        not_regular_ = true;
    } else {
        size_ = static_cast<std::size_t>(st.st_size);
        if (size_ > 0) {
            void *p = mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
            if (p == MAP_FAILED) {
                error_ = errno;
                size_ = 0;
            } else {
                data_ = static_cast<const unsigned char *>(p);
            }
        }
    }
    close(fd);
}

MappedFile::~MappedFile() {
    if (data_) munmap(const_cast<unsigned char *>(data_), size_);
}

// ---- writing ----------------------------------------------------------------------------------

std::int64_t fit_values(const double *in, std::size_t n, std::size_t bytes, bool is_signed, std::int64_t *out) {
    const double span = std::ldexp(1.0, static_cast<int>(8 * bytes));
    const double lo = is_signed ? -span / 2 : 0.0;
    const double hi = is_signed ? span / 2 : span;  // exclusive
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

void write_traces(int fd, const unsigned char *file_header, const SampleMatrix &m, const Column *cols,
                  std::size_t ncols, std::uint16_t dt) {
    write_all(fd, file_header, kFileHeaderBytes, 0);
    const std::size_t tb = kTraceHeaderBytes + 4 * m.ns;
    const std::size_t piece = std::max<std::size_t>(1, (4u << 20) / tb);
    parallel_for(m.ntraces, piece, [&](std::size_t begin, std::size_t end) {
        std::vector<unsigned char> buf(std::min(piece, end - begin) * tb);
        for (std::size_t p = begin; p < end; p += piece) {
            const std::size_t q = std::min(end, p + piece);
            pack_traces(m, p, q, cols, ncols, dt, buf.data());
            write_all(fd, buf.data(), (q - p) * tb, kFileHeaderBytes + p * tb);
        }
    });
}

}  // namespace segy
}  // namespace dcore
