// SEG-Y kernels: byte order, IBM floats, file-header facts, trace and header decoding by
// positioned reads, and the packing of IEEE big-endian traces for writing. No Python here;
// everything may run without the GIL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "stop_check.hpp"

namespace dcore {
namespace segy {

constexpr std::size_t kTextBytes = 3200;
constexpr std::size_t kBinaryBytes = 400;
constexpr std::size_t kFileHeaderBytes = kTextBytes + kBinaryBytes;
constexpr std::size_t kTraceHeaderBytes = 240;

// ---- byte order -------------------------------------------------------------------------------

inline std::uint16_t bswap16(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }
inline std::uint32_t bswap32(std::uint32_t v) { return __builtin_bswap32(v); }
inline std::uint64_t bswap64(std::uint64_t v) { return __builtin_bswap64(v); }

constexpr bool kHostBig = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

// Unsigned loads and stores of 1, 2, 4 or 8 bytes in the given byte order.
inline std::uint64_t load_uint(const unsigned char *p, std::size_t bytes, bool big) {
    std::uint64_t v = 0;
    if (big)
        for (std::size_t i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    else
        for (std::size_t i = bytes; i-- > 0;) v = (v << 8) | p[i];
    return v;
}

inline void store_uint(unsigned char *p, std::uint64_t v, std::size_t bytes, bool big) {
    for (std::size_t i = 0; i < bytes; ++i) {
        unsigned char b = static_cast<unsigned char>(v >> (8 * i));
        p[big ? bytes - 1 - i : i] = b;
    }
}

inline std::int64_t load_int(const unsigned char *p, std::size_t bytes, bool big) {
    std::uint64_t v = load_uint(p, bytes, big);
    if (bytes < 8 && (v >> (8 * bytes - 1)) & 1u) v |= ~std::uint64_t{0} << (8 * bytes);
    return static_cast<std::int64_t>(v);
}

// ---- samples ----------------------------------------------------------------------------------

// Sample format codes of the binary header.
enum Format : int {
    kIbm = 1, kInt32 = 2, kInt16 = 3, kFixedGain = 4, kIeee = 5, kIeee64 = 6, kInt24 = 7, kInt8 = 8, kInt64 = 9,
    kUint32 = 10, kUint16 = 11, kUint64 = 12, kUint24 = 15, kUint8 = 16
};

// Bytes a sample of a readable format takes in the file; 0 for any other code.
std::size_t sample_bytes(int format);

// Bytes of the element a sample of a readable format decodes to (4 for the 24-bit formats).
std::size_t element_bytes(int format);

// Element type the samples of a readable format decode to ("float32" for IBM and IEEE singles,
// "float64", "int32" for 4- and 3-byte integers, "uint32" for 4- and 3-byte unsigned, ...).
const char *sample_type_name(int format);

// An IBM System/360 single (sign, base-16 exponent excess 64, 24-bit fraction), given as its 32
// bits in host order, as the nearest IEEE single. Magnitudes past the IEEE range become infinite,
// those below it round to a subnormal or zero; the sign is kept, also on zero.
float ibm_to_float(std::uint32_t ibm);

// The IEEE single nearest to `v` as IBM bits (for building test data and peers).
std::uint32_t float_to_ibm(float v);

// Decodes `n` samples of `format` stored in the given byte order into `dst`, an array of the
// format's element type (see sample_type_name).
void decode_samples(const unsigned char *src, std::size_t n, int format, bool big, void *dst);

// ---- header fields ----------------------------------------------------------------------------

enum class Kind { sint, uint, real };

// A field of a 240-byte trace header: byte offset (from 0), kind and width (1, 2, 4 or 8 bytes;
// reals 4 or 8). Decoded values are native-endian elements of that kind and width.
struct Field {
    std::size_t pos;
    Kind kind;
    std::size_t bytes;
};

// Empty when the field fits a 240-byte header with a supported kind and width, else the fault.
std::string field_fault(const Field &f);

void decode_field(const unsigned char *header, bool big, const Field &f, void *out);

// ---- file facts -------------------------------------------------------------------------------

// Reads up to `len` bytes at `offset` into `buf` and returns how many it read: fewer only where
// the file ends. Throws std::system_error when reading fails.
using ReadAt = std::function<std::size_t(std::size_t offset, std::size_t len, unsigned char *buf)>;

// A reader over bytes already in memory.
ReadAt memory_reader(const unsigned char *data, std::size_t size);

struct FileFacts {
    bool big = true;             // byte order of the binary and trace headers and the samples
    int format = 0;              // sample format code
    int revision = 0;            // major revision (0, 1, 2)
    std::size_t ns = 0;          // samples per trace, the count the traces are read with
    std::size_t data_offset = 0; // first trace header (after textual, binary and extended headers)
    std::size_t trace_bytes = 0; // header + samples of one trace
    std::size_t ntraces = 0;
    std::size_t size = 0;        // file size the layout was worked out for
    bool ebcdic = true;          // textual header encoding
    std::size_t extended_headers = 0;  // extended textual headers skipped (an end stanza included)
    unsigned char head[kFileHeaderBytes] = {};  // textual and binary headers as read
};

// Byte order of a binary header: the SEG-Y 2 order constant when present, otherwise the order in
// which the sample format code is a known code (1 to 16), big-endian first.
bool binary_header_is_big(const unsigned char *binary);

// Whether a textual header reads as EBCDIC rather than ASCII (by which one yields more text).
bool text_is_ebcdic(const unsigned char *text, std::size_t n);

// Whether a 3200-byte textual record holds the stanza ((SEG: EndText)) that ends a variable
// number of extended textual headers, in EBCDIC or ASCII, whatever its letter case and blanks
// (and whatever else the record holds).
bool holds_end_stanza(const unsigned char *record, std::size_t n);

// Works out the layout of a SEG-Y file of `size` bytes read through `read`. Returns an empty
// string and fills `out`, or returns the fault (short file, a sample format code in neither byte
// order, which is no SEG-Y file, unknown or obsolete format code, additional trace headers, no
// sample count, a trace length that does not divide the rest of the file...). The binary header's
// sample count is the one the traces are read with; where it is 0, the first trace header's.
// A variable number (-1) of extended textual headers is read from byte 3600, 3200-byte record after
// record, up to the first text record that holds the end stanza ((SEG: EndText)), whatever else it
// holds; the traces follow it. A record is text where, in ASCII (with the UTF-8 characters of RFC
// 3629) or in EBCDIC, at most one of its bytes in 80 (rounded up, so at most 40: see kMaxOddBytes
// in the .cpp) is no character, counted up to where zero bytes may pad it to its end, and more
// than 4 bytes precede that padding; zeros alone are no text. From revision 1 on, where the count
// is no noise, the record that holds the stanza ends them even where it is no text. In a
// revision-0 file, where these bytes were unassigned and a trace may hold anything, the -1 is
// noise where the record at 3600 is no text and none of the 8 records after it (kStanzaLookAhead)
// is a text record holding the stanza: the traces start at 3600. Any other end is a fault naming
// what the file holds: text records without the stanza (a lone one too), a record that is no text
// (and, in a revision-0 file, the text record holding the stanza after it), or 32767 text records
// (as many as a binary header can declare) without it and more after them. No more is read than
// the text records and the one record after them, and in a revision-0 file whose record at 3600
// is no text, up to those 8. Throws what `read` throws.
// `stop` is asked, from the calling thread, before each of those records; once it says yes a fault
// is returned.
std::string inspect_file(const ReadAt &read, std::size_t size, FileFacts *out, const ShouldStop &stop = {});
std::string inspect_file(const unsigned char *data, std::size_t size, FileFacts *out, const ShouldStop &stop = {});

// ---- reading ----------------------------------------------------------------------------------

// A file that ended before the bytes its layout promised could be read: it shrank while it was
// being read. `at` is where a read came back short (the file ended there or before).
struct FileShrank : std::runtime_error {
    FileShrank(std::size_t at, std::size_t expected);
    std::size_t at, expected;
};

// Decodes every trace through `read`: samples into `samples` (ntraces x ns elements of the
// format's type) and each field into its array in `outs` (one element a trace). Pieces of the
// file are read into small buffers and decoded, spread over the cores. A null `samples` reads the
// 240-byte trace headers alone, and nothing of the samples. Throws FileShrank when the file ends
// early (also where only headers are read) and std::system_error when a read fails; the outputs
// are then incomplete.
// `stop` is asked between pieces from the calling thread (see pieces_in_turn); once it says yes
// the reads under way finish and false is returned, the outputs incomplete. True when all is read.
bool read_traces(const ReadAt &read, const FileFacts &facts, void *samples, const Field *fields,
                 void *const *outs, std::size_t nfields, const ShouldStop &stop = {});

// A file opened for reading without ever blocking on a FIFO or device (O_NONBLOCK); `error` set
// (errno) when it fails, `regular` false for anything but a regular file.
class InputFile {
public:
    explicit InputFile(const std::string &path);
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    int fd() const { return fd_; }
    std::size_t size() const { return size_; }
    int error() const { return error_; }
    bool regular() const { return regular_; }
    // A reader of this file by positioned reads, safe to share between threads.
    ReadAt reader() const;

private:
    int fd_ = -1;
    std::size_t size_ = 0;
    int error_ = 0;
    bool regular_ = false;
};

// ---- writing ----------------------------------------------------------------------------------

enum class Elem { f32, f64, i8, i16, i32, i64, u8, u16, u32, u64 };

// A strided samples x traces matrix of any plain numeric element.
struct SampleMatrix {
    const char *data;
    Elem elem;
    std::size_t ns, ntraces;
    std::ptrdiff_t sample_stride, trace_stride;  // in bytes
};

// A trace-header field written on every trace, values already checked to fit (see fit_values).
struct Column {
    std::size_t pos, bytes;
    const std::int64_t *values;  // one a trace
};

// Rounds `in` to integers (half away from zero) into `out` and checks each fits a field of
// `bytes` bytes, signed or not (unsigned 8-byte values below 2^63 only: `out` is int64). Returns
// -1, or the index of the first value that does not fit (NaN and infinities included).
std::int64_t fit_values(const double *in, std::size_t n, std::size_t bytes, bool is_signed, std::int64_t *out);

// The 400-byte binary header of an IEEE float, big-endian, fixed-length SEG-Y revision 1 file.
void encode_binary_header(unsigned char *out, std::size_t ns, std::uint16_t dt);

// Packs traces [t0, t1) into `out`: each a 240-byte big-endian header holding the columns, sample
// count and interval, then its samples as big-endian IEEE singles.
void pack_traces(const SampleMatrix &m, std::size_t t0, std::size_t t1, const Column *cols, std::size_t ncols,
                 std::uint16_t dt, unsigned char *out);

// Writes the 3600-byte file header and every trace to the open file `fd`, from offset 0, spread
// over the cores. Throws std::system_error when a write fails. `stop` is asked as by read_traces;
// once it says yes the writes under way finish and false is returned, the file incomplete.
bool write_traces(int fd, const unsigned char *file_header, const SampleMatrix &m, const Column *cols,
                  std::size_t ncols, std::uint16_t dt, const ShouldStop &stop = {});

}  // namespace segy
}  // namespace dcore
