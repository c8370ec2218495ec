#include "segy_format.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace dcore::segy;

namespace {

std::vector<unsigned char> be32(std::uint32_t v) {
    return {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
            static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
}

bool is_unsigned(int format) {
    return format == kUint32 || format == kUint16 || format == kUint64 || format == kUint24 || format == kUint8;
}

// A file image: EBCDIC-blank text, binary header in the given order, `ntraces` traces whose
// header holds the trace index at 188 (int32) and whose samples are v = (t * 100 + k) % 120,
// stored as -v in the signed integer formats.
std::vector<unsigned char> make_file(int format, bool big, std::size_t ns, std::size_t ntraces) {
    const std::size_t sb = sample_bytes(format);
    std::vector<unsigned char> f(kFileHeaderBytes + ntraces * (kTraceHeaderBytes + ns * sb), 0);
    std::fill(f.begin(), f.begin() + kTextBytes, 0x40);
    store_uint(&f[kTextBytes + 20], ns, 2, big);
    store_uint(&f[kTextBytes + 24], static_cast<std::uint64_t>(format), 2, big);
    for (std::size_t t = 0; t < ntraces; ++t) {
        unsigned char *tr = &f[kFileHeaderBytes + t * (kTraceHeaderBytes + ns * sb)];
        store_uint(tr + 188, t, 4, big);
        store_uint(tr + 114, ns, 2, big);
        for (std::size_t k = 0; k < ns; ++k) {
            const std::int64_t v = static_cast<std::int64_t>(t * 100 + k) % 120;  // fits int8
            std::uint64_t bits;
            if (format == kIbm) {
                bits = float_to_ibm(static_cast<float>(v));
            } else if (format == kIeee) {
                float x = static_cast<float>(v);
                std::uint32_t u;
                std::memcpy(&u, &x, 4);
                bits = u;
            } else if (format == kIeee64) {
                double x = static_cast<double>(v);
                std::memcpy(&bits, &x, 8);
            } else {
                bits = static_cast<std::uint64_t>(is_unsigned(format) ? v : -v);
            }
            store_uint(tr + kTraceHeaderBytes + k * sb, bits, sb, big);
        }
    }
    return f;
}

// Sample i of a decoded array of `format`, as a double.
double element(int format, const void *out, std::size_t i) {
    switch (format) {
        case kIbm: case kIeee: return static_cast<const float *>(out)[i];
        case kIeee64: return static_cast<const double *>(out)[i];
        case kInt32: case kInt24: return static_cast<const std::int32_t *>(out)[i];
        case kInt16: return static_cast<const std::int16_t *>(out)[i];
        case kInt8: return static_cast<const std::int8_t *>(out)[i];
        case kInt64: return static_cast<double>(static_cast<const std::int64_t *>(out)[i]);
        case kUint32: case kUint24: return static_cast<const std::uint32_t *>(out)[i];
        case kUint16: return static_cast<const std::uint16_t *>(out)[i];
        case kUint8: return static_cast<const std::uint8_t *>(out)[i];
        default: return static_cast<double>(static_cast<const std::uint64_t *>(out)[i]);
    }
}

const int kAllFormats[] = {kIbm, kInt32, kInt16, kIeee, kIeee64, kInt24, kInt8, kInt64,
                           kUint32, kUint16, kUint64, kUint24, kUint8};

std::string temp_path(const char *tag) {
    return std::string(::testing::TempDir()) + "segy_format_test_" + tag + "_" + std::to_string(getpid());
}

}  // namespace

TEST(SegyIbmFloat, KnownValues) {
    EXPECT_EQ(ibm_to_float(0x41100000u), 1.0f);
    EXPECT_EQ(ibm_to_float(0xC276A000u), -118.625f);
    EXPECT_EQ(ibm_to_float(0x42640000u), 100.0f);
    EXPECT_EQ(ibm_to_float(0x42010000u), 1.0f);  // fraction with leading zero nibbles
    EXPECT_EQ(ibm_to_float(0x00000000u), 0.0f);
    EXPECT_TRUE(std::signbit(ibm_to_float(0x80000000u)));
}

TEST(SegyIbmFloat, RangeEdgesBecomeInfinityOrSubnormal) {
    EXPECT_EQ(ibm_to_float(0x7FFFFFFFu), std::numeric_limits<float>::infinity());
    EXPECT_EQ(ibm_to_float(0xFFFFFFFFu), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(ibm_to_float(0x00100000u), 0.0f);                      // 16^-65
    EXPECT_EQ(ibm_to_float(0x1E100000u), std::ldexp(1.0f, -140));    // a subnormal single
    // (2^24 - 1) * 2^-160 rounds once, to the subnormal 2^-136.
    EXPECT_EQ(ibm_to_float(0x1EFFFFFFu), std::ldexp(1.0f, -136));
}

TEST(SegyIbmFloat, RoundTripsThroughIbm) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> mant(-1.0f, 1.0f);
    std::uniform_int_distribution<int> ex(-100, 100);
    for (int i = 0; i < 20000; ++i) {
        float v = std::ldexp(mant(gen), ex(gen));
        float back = ibm_to_float(float_to_ibm(v));
        EXPECT_NEAR(back, v, std::fabs(v) * std::ldexp(1.0f, -20)) << v;
    }
    for (int v = -(1 << 20); v <= (1 << 20); v += 997) EXPECT_EQ(ibm_to_float(float_to_ibm(static_cast<float>(v))), v);
}

TEST(SegyDecode, EveryFormatInBothByteOrders) {
    for (bool big : {true, false}) {
        std::vector<unsigned char> ibm, ieee, i32, i16, i8;
        for (std::uint32_t w : {0xC276A000u, 0x41100000u}) {
            auto b = be32(w);
            if (!big) std::reverse(b.begin(), b.end());
            ibm.insert(ibm.end(), b.begin(), b.end());
        }
        float f[2];
        decode_samples(ibm.data(), 2, kIbm, big, f);
        EXPECT_EQ(f[0], -118.625f);
        EXPECT_EQ(f[1], 1.0f);

        float x = -2.5f;
        std::uint32_t u;
        std::memcpy(&u, &x, 4);
        ieee.resize(4);
        store_uint(ieee.data(), u, 4, big);
        decode_samples(ieee.data(), 1, kIeee, big, f);
        EXPECT_EQ(f[0], -2.5f);

        i32.resize(4);
        store_uint(i32.data(), static_cast<std::uint32_t>(-70000), 4, big);
        std::int32_t r32;
        decode_samples(i32.data(), 1, kInt32, big, &r32);
        EXPECT_EQ(r32, -70000);

        i16.resize(4);
        store_uint(i16.data(), static_cast<std::uint16_t>(-300), 2, big);
        store_uint(i16.data() + 2, 300, 2, big);
        std::int16_t r16[2];
        decode_samples(i16.data(), 2, kInt16, big, r16);
        EXPECT_EQ(r16[0], -300);
        EXPECT_EQ(r16[1], 300);

        i8 = {0xFF, 0x7F};
        std::int8_t r8[2];
        decode_samples(i8.data(), 2, kInt8, big, r8);
        EXPECT_EQ(r8[0], -1);
        EXPECT_EQ(r8[1], 127);
        std::uint8_t u8[2];
        decode_samples(i8.data(), 2, kUint8, big, u8);
        EXPECT_EQ(u8[0], 255);

        std::vector<unsigned char> w(8);
        double d = -1.0e300, rd;
        std::uint64_t db;
        std::memcpy(&db, &d, 8);
        store_uint(w.data(), db, 8, big);
        decode_samples(w.data(), 1, kIeee64, big, &rd);
        EXPECT_EQ(rd, -1.0e300);
        store_uint(w.data(), 0x8000000000000001u, 8, big);
        std::int64_t r64;
        std::uint64_t u64;
        decode_samples(w.data(), 1, kInt64, big, &r64);
        decode_samples(w.data(), 1, kUint64, big, &u64);
        EXPECT_EQ(r64, std::numeric_limits<std::int64_t>::min() + 1);
        EXPECT_EQ(u64, 0x8000000000000001u);
        store_uint(w.data(), 0xFFFFFFFEu, 4, big);
        std::uint32_t u32;
        decode_samples(w.data(), 1, kUint32, big, &u32);
        EXPECT_EQ(u32, 0xFFFFFFFEu);
        store_uint(w.data(), 0xFFFE, 2, big);
        std::uint16_t u16;
        decode_samples(w.data(), 1, kUint16, big, &u16);
        EXPECT_EQ(u16, 0xFFFEu);

        // 3-byte integers: each byte distinct so that a byte out of place shows.
        std::vector<unsigned char> i24(9);
        store_uint(&i24[0], 0x800001, 3, big);
        store_uint(&i24[3], 0x7FFFFE, 3, big);
        store_uint(&i24[6], 0xFFFFFF, 3, big);
        std::int32_t s24[3];
        std::uint32_t us24[3];
        decode_samples(i24.data(), 3, kInt24, big, s24);
        decode_samples(i24.data(), 3, kUint24, big, us24);
        EXPECT_EQ(s24[0], -8388607);
        EXPECT_EQ(s24[1], 8388606);
        EXPECT_EQ(s24[2], -1);
        EXPECT_EQ(us24[0], 0x800001u);
        EXPECT_EQ(us24[2], 0xFFFFFFu);
    }
    for (int format : kAllFormats) EXPECT_NE(sample_bytes(format), 0u) << format;
    EXPECT_EQ(sample_bytes(4), 0u);
    EXPECT_EQ(sample_bytes(13), 0u);
    EXPECT_EQ(sample_bytes(kInt24), 3u);
    EXPECT_EQ(element_bytes(kUint24), 4u);
    EXPECT_STREQ(sample_type_name(kInt24), "int32");
    EXPECT_STREQ(sample_type_name(kUint24), "uint32");
    EXPECT_STREQ(sample_type_name(kIeee64), "float64");
    EXPECT_STREQ(sample_type_name(kIbm), "float32");
}

TEST(SegyFields, SignedUnsignedAndRealInBothOrders) {
    unsigned char h[kTraceHeaderBytes] = {};
    for (bool big : {true, false}) {
        store_uint(h + 114, 0xFFFE, 2, big);
        std::int16_t s;
        std::uint16_t us;
        decode_field(h, big, {114, Kind::sint, 2}, &s);
        decode_field(h, big, {114, Kind::uint, 2}, &us);
        EXPECT_EQ(s, -2);
        EXPECT_EQ(us, 65534);
        float x = 3.25f;
        std::uint32_t bits;
        std::memcpy(&bits, &x, 4);
        store_uint(h + 236, bits, 4, big);
        float r;
        decode_field(h, big, {236, Kind::real, 4}, &r);
        EXPECT_EQ(r, 3.25f);
        store_uint(h + 0, static_cast<std::uint64_t>(-5), 8, big);
        std::int64_t s64;
        decode_field(h, big, {0, Kind::sint, 8}, &s64);
        EXPECT_EQ(s64, -5);
    }
    EXPECT_TRUE(field_fault({236, Kind::sint, 4}).empty());
    EXPECT_FALSE(field_fault({237, Kind::sint, 4}).empty());
    EXPECT_FALSE(field_fault({240, Kind::sint, 1}).empty());
    EXPECT_FALSE(field_fault({0, Kind::sint, 3}).empty());
    EXPECT_FALSE(field_fault({0, Kind::real, 2}).empty());
}

TEST(SegyFileFacts, ByteOrderAndTextEncoding) {
    unsigned char bin[kBinaryBytes] = {};
    store_uint(bin + 24, 1, 2, false);
    EXPECT_FALSE(binary_header_is_big(bin));
    store_uint(bin + 24, 5, 2, true);
    EXPECT_TRUE(binary_header_is_big(bin));
    store_uint(bin + 96, 0x01020304u, 4, false);  // SEG-Y 2 order constant wins
    EXPECT_FALSE(binary_header_is_big(bin));

    const char *ascii = "C 1 CLIENT DORAR                                 ";
    EXPECT_FALSE(text_is_ebcdic(reinterpret_cast<const unsigned char *>(ascii), std::strlen(ascii)));
    const unsigned char ebcdic[] = {0xC3, 0x40, 0xF1, 0x40, 0xC3, 0xD3, 0xC9, 0xC5, 0xD5, 0xE3, 0x40, 0x40};
    EXPECT_TRUE(text_is_ebcdic(ebcdic, sizeof ebcdic));
}

TEST(SegyFileFacts, LayoutOfAGoodFile) {
    for (bool big : {true, false}) {
        auto f = make_file(kInt16, big, 7, 5);
        FileFacts facts;
        ASSERT_EQ(inspect_file(f.data(), f.size(), &facts), "");
        EXPECT_EQ(facts.big, big);
        EXPECT_EQ(facts.ns, 7u);
        EXPECT_EQ(facts.ntraces, 5u);
        EXPECT_EQ(facts.trace_bytes, 240u + 14u);
        EXPECT_EQ(facts.data_offset, 3600u);
        EXPECT_TRUE(facts.ebcdic);
    }
    // The binary header's count holds whatever the trace headers say (0, or stale from before
    // the file was cropped).
    auto f = make_file(kIeee, true, 9, 2);
    for (std::uint64_t stale : {0u, 462u, 8u}) {
        store_uint(&f[kFileHeaderBytes + 114], stale, 2, true);
        FileFacts facts;
        ASSERT_EQ(inspect_file(f.data(), f.size(), &facts), "");
        EXPECT_EQ(facts.ns, 9u);
        EXPECT_EQ(facts.ntraces, 2u);
    }
    // No sample count in the binary header: the first trace header gives it.
    store_uint(&f[kFileHeaderBytes + 114], 9, 2, true);
    store_uint(&f[kTextBytes + 20], 0, 2, true);
    FileFacts facts;
    ASSERT_EQ(inspect_file(f.data(), f.size(), &facts), "");
    EXPECT_EQ(facts.ns, 9u);
    // A file with no traces at all is a valid, empty file.
    f.resize(kFileHeaderBytes);
    store_uint(&f[kTextBytes + 20], 9, 2, true);
    ASSERT_EQ(inspect_file(f.data(), f.size(), &facts), "");
    EXPECT_EQ(facts.ntraces, 0u);
}

// The EBCDIC (code page 037) code of a letter, digit, blank or the punctuation of a textual
// header; 0 for a character this table lacks.
unsigned char to_ebcdic(char c) {
    if (c >= 'a' && c <= 'i') return static_cast<unsigned char>(0x81 + (c - 'a'));
    if (c >= 'j' && c <= 'r') return static_cast<unsigned char>(0x91 + (c - 'j'));
    if (c >= 's' && c <= 'z') return static_cast<unsigned char>(0xa2 + (c - 's'));
    if (c >= 'A' && c <= 'I') return static_cast<unsigned char>(0xc1 + (c - 'A'));
    if (c >= 'J' && c <= 'R') return static_cast<unsigned char>(0xd1 + (c - 'J'));
    if (c >= 'S' && c <= 'Z') return static_cast<unsigned char>(0xe2 + (c - 'S'));
    if (c >= '0' && c <= '9') return static_cast<unsigned char>(0xf0 + (c - '0'));
    static const std::string from = " ().,:;=-_/+*'\"";
    static const unsigned char to[] = {0x40, 0x4d, 0x5d, 0x4b, 0x6b, 0x7a, 0x5e, 0x7e, 0x60, 0x6d, 0x61, 0x4e, 0x5c, 0x7d, 0x7f};
    static_assert(sizeof to == 15, "one code for each character of `from`");
    const std::size_t k = from.find(c);
    return k == std::string::npos ? 0 : to[k];
}

// A textual record of 40 lines of 80 characters in EBCDIC or ASCII, `line` among blank lines.
std::vector<unsigned char> text_record(const std::string &line, std::size_t at, bool ebcdic) {
    std::vector<unsigned char> r(kTextBytes, ebcdic ? 0x40 : 0x20);
    for (std::size_t i = 0; i < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (ebcdic) {
            c = to_ebcdic(line[i]);
            if (c == 0) ADD_FAILURE() << "text_record: no EBCDIC code for '" << line[i] << "' in \"" << line << "\"";
        }
        r.at(at + i) = c;
    }
    return r;
}

TEST(SegyFileFacts, EndStanzaWhateverItsCaseAndBlanks) {
    for (bool ebcdic : {false, true}) {
        EXPECT_TRUE(holds_end_stanza(text_record("((SEG: EndText))", 0, ebcdic).data(), kTextBytes));
        EXPECT_TRUE(holds_end_stanza(text_record("((  seg: endTEXt  ))", 80 * 3, ebcdic).data(), kTextBytes));
        EXPECT_TRUE(holds_end_stanza(text_record("( ( S E G : E n d T e x t ) )", 7, ebcdic).data(), kTextBytes));
        EXPECT_FALSE(holds_end_stanza(text_record("((SEG: EndTxt))", 0, ebcdic).data(), kTextBytes));
        EXPECT_FALSE(holds_end_stanza(text_record("C 1 EndText", 0, ebcdic).data(), kTextBytes));
    }
}

TEST(SegyFileFacts, ExtendedTextualHeadersAreSkipped) {
    const auto base = make_file(kIeee, true, 5, 3);
    auto with_records = [&](const std::vector<std::vector<unsigned char>> &records, std::int64_t count, int rev) {
        auto f = base;
        for (auto it = records.rbegin(); it != records.rend(); ++it) f.insert(f.begin() + kFileHeaderBytes, it->begin(), it->end());
        store_uint(&f[kTextBytes + 304], static_cast<std::uint64_t>(count), 2, true);
        store_uint(&f[kTextBytes + 300], static_cast<std::uint64_t>(rev), 2, true);
        return f;
    };
    const auto blank = text_record("", 0, true);
    FileFacts facts;
    // A fixed count, in revision 1 and in revision 0 (as segyio writes it).
    for (int rev : {0x0100, 0}) {
        auto f = with_records({blank, blank}, 2, rev);
        ASSERT_EQ(inspect_file(f.data(), f.size(), &facts), "") << rev;
        EXPECT_EQ(facts.data_offset, 3600u + 6400u);
        EXPECT_EQ(facts.extended_headers, 2u);
        EXPECT_EQ(facts.ntraces, 3u);
    }
    // A variable number: every record up to the one with the end stanza, in either encoding.
    for (bool ebcdic : {true, false}) {
        auto f = with_records({blank, text_record("((SEG: Foo))", 0, true), text_record("(( seg : ENDtext ))", 160, ebcdic)},
                              -1, 0x0200);
        ASSERT_EQ(inspect_file(f.data(), f.size(), &facts), "");
        EXPECT_EQ(facts.extended_headers, 3u);
        EXPECT_EQ(facts.data_offset, 3600u + 3 * 3200u);
        EXPECT_EQ(facts.ntraces, 3u);
        EXPECT_EQ(facts.revision, 2);
    }
    // Revision 0 with a count in these then unassigned bytes that the file does not hold: ignored.
    auto f = with_records({}, 7, 0);
    ASSERT_EQ(inspect_file(f.data(), f.size(), &facts), "");
    EXPECT_EQ(facts.data_offset, 3600u);
    EXPECT_EQ(facts.ntraces, 3u);
    // From revision 1 on a count the file does not hold is a fault, as is -1 without its stanza.
    f = with_records({blank}, 2, 0x0100);
    EXPECT_NE(inspect_file(f.data(), f.size(), &facts), "");
    f = with_records({blank, blank}, -1, 0x0100);
    EXPECT_NE(inspect_file(f.data(), f.size(), &facts).find("without the stanza ((SEG: EndText))"), std::string::npos);
}

// A variable number (-1) of extended textual headers, in revision 0 (where the bytes were unassigned
// and -1 may be noise) and in revision 1: where the traces start, or what the fault says, and how
// many bytes were read to find out.
TEST(SegyFileFacts, VariableExtendedHeadersAreTextUpToTheEndStanza) {
    using Records = std::vector<std::vector<unsigned char>>;
    using Craft = std::function<void(std::vector<unsigned char> &, std::size_t trace_bytes)>;
    struct Case {
        const char *what;
        int revision;
        int format;
        std::size_t ns, ntraces;
        Records records;   // between the binary header and the traces
        Craft craft;       // changes the traces before the records go in front of them
        std::size_t tail;  // stray bytes after the last trace
        std::size_t offset, traces;
        std::string fault;
        std::size_t read;  // bytes asked of the reader
        std::size_t blanks = 0;  // EBCDIC blank records before `records` (made up as they are read)
    };
    const auto free_text = [](bool ebcdic) { return text_record("C free text of an extended header", 80, ebcdic); };
    const auto end = [](bool ebcdic) { return text_record("((SEG: EndText))", 0, ebcdic); };
    const auto nul_padded = [](std::vector<unsigned char> r, std::size_t from) {
        std::fill(r.begin() + static_cast<std::ptrdiff_t>(from), r.end(), 0);
        return r;
    };
    const auto put = [](std::vector<unsigned char> r, std::size_t at, std::vector<unsigned char> bytes) {
        std::copy(bytes.begin(), bytes.end(), r.begin() + static_cast<std::ptrdiff_t>(at));
        return r;
    };
    const auto nuls = [](std::vector<unsigned char> r, std::size_t n) {  // inside the record, 78 bytes apart
        for (std::size_t i = 0; i < n; ++i) r.at(40 + 78 * i) = 0;
        return r;
    };
    // Lines of ASCII blanks, each opening with the letter De 20 times, 0xD0 0x94 in UTF-8.
    std::vector<unsigned char> cyrillic(kTextBytes, ' ');
    for (std::size_t i = 0; i < kTextBytes; i += i % 80 == 38 ? 42 : 2) cyrillic[i] = 0xd0, cyrillic[i + 1] = 0x94;
    const Craft header_opens_ebcdic_end_stanza = [](std::vector<unsigned char> &f, std::size_t) {
        const std::string s = "((SEG: EndText))";
        for (std::size_t i = 0; i < s.size(); ++i) f[kFileHeaderBytes + i] = to_ebcdic(s[i]);
    };
    const Craft header_opens_ascii_parens = [](std::vector<unsigned char> &f, std::size_t) {
        f[kFileHeaderBytes] = f[kFileHeaderBytes + 1] = 0x28;
    };
    // Headers of EBCDIC blanks but for the sample count (0x0140), IBM samples 0x40404040.
    const Craft blanks_and_ibm_0x40 = [](std::vector<unsigned char> &f, std::size_t tb) {
        for (std::size_t at = kFileHeaderBytes; at < f.size(); at += tb) {
            std::fill(&f[at], &f[at] + tb, 0x40);
            store_uint(&f[at + 114], 0x0140, 2, true);
        }
    };
    const Craft zeros = [](std::vector<unsigned char> &f, std::size_t) {
        std::fill(f.begin() + kFileHeaderBytes, f.end(), 0);
    };
    const Craft dead_traces_first_opening_ebcdic_parens = [&](std::vector<unsigned char> &f, std::size_t tb) {
        zeros(f, tb);
        f[kFileHeaderBytes] = f[kFileHeaderBytes + 1] = 0x4d;
    };
    const auto opens_end_stanza = [](bool ebcdic, std::size_t at) -> Craft {
        return [=](std::vector<unsigned char> &f, std::size_t) {
            const std::string s = "((SEG: EndText))";
            for (std::size_t i = 0; i < s.size(); ++i)
                f[kFileHeaderBytes + at + i] = ebcdic ? to_ebcdic(s[i]) : static_cast<unsigned char>(s[i]);
        };
    };
    // Dead traces: zeros but for one header field, `first` on the first trace, one more a trace on.
    const auto dead_traces_holding = [&](std::size_t pos, std::size_t bytes, std::uint64_t first) -> Craft {
        return [=](std::vector<unsigned char> &f, std::size_t tb) {
            zeros(f, tb);
            for (std::size_t at = kFileHeaderBytes, t = 0; at < f.size(); at += tb, ++t) store_uint(&f[at + pos], first + t, bytes, true);
        };
    };
    const auto with_utf8 = [](std::vector<unsigned char> r, std::size_t at, std::vector<unsigned char> c, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) std::copy(c.begin(), c.end(), r.begin() + static_cast<std::ptrdiff_t>(at + i * c.size()));
        return r;
    };
    // The edges of each UTF-8 form, twice each: U+0080, U+0800, U+D7FF, U+E000, U+10000, U+10FFFF.
    std::vector<unsigned char> utf8_edges = {'C', ' ', '1', ' '};
    for (const std::vector<unsigned char> &c : std::vector<std::vector<unsigned char>>{
             {0xc2, 0x80}, {0xe0, 0xa0, 0x80}, {0xed, 0x9f, 0xbf}, {0xee, 0x80, 0x80}, {0xf0, 0x90, 0x80, 0x80},
             {0xf4, 0x8f, 0xbf, 0xbf}})
        for (int twice = 0; twice < 2; ++twice) utf8_edges.insert(utf8_edges.end(), c.begin(), c.end());
    utf8_edges.resize(kTextBytes, 0);
    const std::size_t R = kTextBytes, H = kFileHeaderBytes;
    const Case cases[] = {
        {"free text, end stanza, 100 samples", 0, kIeee, 100, 6, {free_text(true), free_text(true), end(true)}, {}, 0,
         H + 3 * R, 6, "", H + 3 * R},
        {"NUL-padded ASCII free text, end stanza, 20 samples", 0, kIeee, 20, 6,
         {nul_padded(free_text(false), 160), nul_padded(end(false), 16)}, {}, 0, H + 2 * R, 6, "", H + 2 * R},
        {"free text, end stanza, 740 samples", 0, kIeee, 740, 6, {free_text(true), end(true)}, {}, 0, H + 2 * R, 6, "",
         H + 2 * R},
        {"stanzas first", 0, kIeee, 100, 6, {text_record("((SEG: Location Data ver 1.0))", 0, true), end(true)}, {}, 0,
         H + 2 * R, 6, "", H + 2 * R},
        {"a lone end stanza", 0, kIeee, 51, 6, {end(false)}, {}, 0, H + R, 6, "", H + R},
        {"noise, an ordinary first trace", 0, kIeee, 100, 10, {}, {}, 0, H, 10, "", H + 2 * R},
        // The end stanza in a trace: the record that holds it is no text.
        {"noise, the first trace header opens with the EBCDIC end stanza", 0, kIeee, 100, 10, {},
         header_opens_ebcdic_end_stanza, 0, H, 10, "", H + 2 * R},
        {"noise, the first trace header opens with the ASCII end stanza", 0, kIeee, 100, 15, {},
         opens_end_stanza(false, 0), 0, H, 15, "", H + 3 * R},
        {"noise, the end stanza in the first trace's samples", 0, kIeee, 100, 20, {}, opens_end_stanza(false, 300), 0,
         H, 20, "", H + 4 * R},
        {"noise, the first trace header opens with ASCII ((", 0, kIeee, 100, 10, {}, header_opens_ascii_parens, 0, H, 10,
         "", H + 2 * R},
        // Dead traces of 3200 bytes, each a record of a few header bytes padded with zeros.
        {"noise, dead traces holding only the sequence number", 0, kIeee, 740, 3, {},
         dead_traces_holding(0, 4, 1), 0, H, 3, "", H + 3 * R},
        {"noise, dead traces holding only the sequence number, from 65 (0x41)", 0, kIeee, 740, 12, {},
         dead_traces_holding(0, 4, 65), 0, H, 12, "", H + 9 * R},
        {"noise, dead traces holding only the trace identification code", 0, kIeee, 740, 2, {},
         dead_traces_holding(28, 2, 1), 0, H, 2, "", H + 2 * R},
        {"noise, dead traces, the first header opening with EBCDIC ((", 0, kIeee, 100, 10, {},
         dead_traces_first_opening_ebcdic_parens, 0, H, 10, "", H + 2 * R},
        // Hand-made traces that read as text with a few odd bytes: refused, as text without the stanza.
        {"trace bytes of 0x40 but one in 1520", 0, kIbm, 320, 10, {}, blanks_and_ibm_0x40, 0, 0, 0,
         "the file holds 4 text records from byte 3600 without the stanza ((SEG: EndText)), then 2400 more bytes, "
         "fewer than a record",
         H + 4 * R},
        {"the end stanza with a NUL", 0, kIeee, 100, 6, {put(end(false), 900, {0})}, {}, 0, H + R, 6, "", H + R},
        {"the end stanza with an EBCDIC 0xFF", 0, kIeee, 20, 6, {put(end(true), R - 1, {0xff})}, {}, 0, H + R, 6, "",
         H + R},
        {"the end stanza in Windows-1252 quotes", 0, kIeee, 740, 3,
         {put(put(text_record("((SEG: EndText))", 81, false), 80, {0x93}), 97, {0x94})}, {}, 0, H + R, 3, "", H + R},
        {"the end stanza after a UTF-8 dash", 0, kIeee, 340, 4,
         {put(text_record("((SEG: EndText))", 160, false), 0, {'C', ' ', '1', ' ', 0xe2, 0x80, 0x93})}, {}, 0, H + R,
         4, "", H + R},
        {"UTF-8 Cyrillic free text, end stanza", 0, kIeee, 100, 6, {cyrillic, end(false)}, {}, 0, H + 2 * R, 6, "",
         H + 2 * R},
        {"free text with 6 odd bytes and with 40 NULs, end stanza", 0, kIeee, 100, 6,
         {put(free_text(false), 0, {0, 0x93, 'x', 0x94, 0xe2, 0x80, 0x94, 0x7f}), nuls(free_text(true), 40), end(true)},
         {}, 0, H + 3 * R, 6, "", H + 3 * R},
        {"free text with 41 NULs, end stanza", 1, kIeee, 100, 6, {nuls(free_text(true), 41), end(true)}, {}, 0, 0, 0,
         "but the file holds a record that is no text at byte 3600 (by byte 6760, 0x00, 41 of its bytes are no "
         "character in either encoding",
         H + R},
        {"32767 blank records, then traces", 1, kIeee, 100, 6, {}, {}, 0, 0, 0,
         "but the file holds 32767 text records from byte 3600 without the stanza ((SEG: EndText)) and more after "
         "them, more extended textual headers than a binary header can declare",
         H + 32767 * R, 32767},
        {"32766 blank records, then the end stanza", 1, kIeee, 100, 6, {end(true)}, {}, 0, H + 32767 * R, 6, "",
         H + 32767 * R, 32766},
        {"noise that leaves no whole number of traces", 0, kIeee, 100, 10, {}, {}, 7, 0, 0,
         "does not divide the 6407 bytes after the file headers (the traces taken to start at byte 3600: this "
         "revision-0 file's count of -1 extended textual headers is noise, the file holds a record that is no text "
         "at byte 3600 (by byte 3640, 0x00, 41 of its bytes are no character in either encoding, text has at most "
         "40))",
         H + 2 * R},
        {"free text without the end stanza", 0, kIeee, 100, 6, {free_text(true), free_text(false)}, {}, 0, 0, 0,
         "the file holds 2 text records from byte 3600 without the stanza ((SEG: EndText)), then a record that is no "
         "text at byte 10000",
         H + 3 * R},
        {"a stanza opened, then zeros", 0, kIeee, 100, 1000, {text_record("((SEG: Location Data ver 1.0))", 0, false)},
         zeros, 0, 0, 0,
         "1 text record from byte 3600 without the stanza ((SEG: EndText)), then a record that is no text at byte "
         "6800 (zero bytes only)",
         H + 2 * R},
        {"free text to the end of the file", 0, kIeee, 100, 0, {free_text(true), free_text(true), free_text(true)}, {},
         0, 0, 0, "3 text records from byte 3600 without the stanza ((SEG: EndText)), then the end of the file",
         H + 3 * R},
        {"revision 1, blank record and end stanza", 1, kIeee, 100, 6, {text_record("", 0, true), end(true)}, {}, 0,
         H + 2 * R, 6, "", H + 2 * R},
        {"a lone NUL-padded text record at 3600", 0, kIeee, 100, 10, {nul_padded(free_text(false), 160)}, {}, 0, 0, 0,
         "but the file holds 1 text record from byte 3600 without the stanza ((SEG: EndText)), then a record that is "
         "no text at byte 6800 (by byte ",
         H + 2 * R},
        {"a lone record of UTF-8 characters at 3600", 0, kIeee, 100, 10, {utf8_edges}, {}, 0, 0, 0,
         "but the file holds 1 text record from byte 3600 without the stanza ((SEG: EndText)), then a record that is "
         "no text at byte 6800",
         H + 2 * R},
        {"free text with 41 NULs, free text, end stanza", 0, kIeee, 100, 6,
         {nuls(free_text(false), 41), free_text(true), end(true)}, {}, 0, 0, 0,
         "but the file holds a record that is no text at byte 3600 (by byte 6760, 0x00, 41 of its bytes are no "
         "character in either encoding, text has at most 40), though the text record at byte 10000 holds the stanza "
         "((SEG: EndText)): extended textual headers, not traces, but not all of them text",
         H + 3 * R},
        {"a record of zeros, end stanza", 0, kIeee, 100, 6, {std::vector<unsigned char>(R, 0), end(false)}, {}, 0, 0, 0,
         "but the file holds a record that is no text at byte 3600 (zero bytes only), though the text record at byte "
         "6800 holds the stanza",
         H + 2 * R},
        {"21 overlong U+0000 (E0 80 80), end stanza", 1, kIeee, 100, 6,
         {with_utf8(free_text(false), 200, {0xe0, 0x80, 0x80}, 21), end(false)}, {}, 0, 0, 0,
         "but the file holds a record that is no text at byte 3600 (by byte 3861, 0x80, 41 of its bytes",
         H + R},
        {"41 surrogates U+D800 (ED A0 80), end stanza", 1, kIeee, 100, 6,
         {with_utf8(free_text(false), 160, {0xed, 0xa0, 0x80}, 41), end(false)}, {}, 0, 0, 0,
         "but the file holds a record that is no text at byte 3600 (by byte 3882, 0x80, 41 of its bytes",
         H + R},
        {"14 code points U+110000 (F4 90 80 80), end stanza", 1, kIeee, 100, 6,
         {with_utf8(free_text(false), 240, {0xf4, 0x90, 0x80, 0x80}, 14), end(false)}, {}, 0, 0, 0,
         "but the file holds a record that is no text at byte 3600 (by byte 3894, 0x80, 41 of its bytes",
         H + R},
        {"revision 1, traces at once", 1, kIeee, 100, 1000, {}, {}, 0, 0, 0,
         "announces a variable number of extended textual headers (count -1, ended by the stanza ((SEG: EndText))), "
         "but the file holds a record that is no text at byte 3600",
         H + R},
    };
    for (const Case &c : cases) {
        auto f = make_file(c.format, true, c.ns, c.ntraces);
        if (c.craft) c.craft(f, kTraceHeaderBytes + c.ns * sample_bytes(c.format));
        for (auto it = c.records.rbegin(); it != c.records.rend(); ++it) f.insert(f.begin() + H, it->begin(), it->end());
        f.insert(f.end(), c.tail, 0x11);
        store_uint(&f[kTextBytes + 300], c.revision == 1 ? 0x0100 : 0, 2, true);
        store_uint(&f[kTextBytes + 304], 0xffff, 2, true);
        // The blank records are made up as they are read, after the file header of `f`.
        const std::size_t blanks = c.blanks * R, size = f.size() + blanks;
        std::size_t read = 0;
        const ReadAt counted = [&](std::size_t offset, std::size_t len, unsigned char *buf) {
            read += len;
            len = std::min(len, size - std::min(size, offset));
            for (std::size_t i = 0, at = offset, n; i < len; i += n, at += n) {
                n = std::min(len - i, at < H ? H - at : at < H + blanks ? H + blanks - at : len);
                if (at >= H && at < H + blanks)
                    std::memset(buf + i, 0x40, n);
                else
                    std::memcpy(buf + i, &f[at < H ? at : at - blanks], n);
            }
            return len;
        };
        FileFacts facts;
        const std::string fault = inspect_file(counted, size, &facts);
        if (c.fault.empty()) {
            ASSERT_EQ(fault, "") << c.what;
            EXPECT_EQ(facts.data_offset, c.offset) << c.what;
            EXPECT_EQ(facts.extended_headers, (c.offset - H) / R) << c.what;
            EXPECT_EQ(facts.ntraces, c.traces) << c.what;
        } else {
            EXPECT_NE(fault.find(c.fault), std::string::npos) << c.what << ": " << fault;
        }
        EXPECT_EQ(read, c.read) << c.what;
    }
}

TEST(SegyFileFacts, SearchForTheEndStanzaStops) {
    // A corrupt file announcing a variable number of extended headers and holding 1000 blank
    // records without the stanza: the walk would read all of them; a stop ends it before the next.
    auto f = make_file(kIeee, true, 5, 3);
    f.insert(f.begin() + kFileHeaderBytes, 1000 * kTextBytes, 0x40);
    store_uint(&f[kTextBytes + 300], 0x0100, 2, true);
    store_uint(&f[kTextBytes + 304], 0xffff, 2, true);
    const ReadAt memory = memory_reader(f.data(), f.size());
    std::size_t reads = 0;
    const ReadAt counted = [&](std::size_t offset, std::size_t len, unsigned char *buf) {
        ++reads;
        return memory(offset, len, buf);
    };
    int asked = 0;
    FileFacts facts;
    const std::string fault = inspect_file(counted, f.size(), &facts, [&] { return ++asked > 0; });
    EXPECT_NE(fault.find("stopped"), std::string::npos) << fault;
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(reads, 1u);  // the file header only
    reads = 0;
    EXPECT_NE(inspect_file(counted, f.size(), &facts, [] { return false; }).find("without the stanza"), std::string::npos);
    EXPECT_EQ(reads, 1001u);
    // A revision-0 file whose record at 3600 is a trace: the search for the stanza in the records
    // after it stops too. Reading that record outlasts the time between two questions.
    auto g = make_file(kIeee, true, 100, 50);
    store_uint(&g[kTextBytes + 304], 0xffff, 2, true);
    const ReadAt slow = [&](std::size_t offset, std::size_t len, unsigned char *buf) {
        ++reads;
        if (offset == kFileHeaderBytes) std::this_thread::sleep_for(dcore::kStopEvery + std::chrono::milliseconds(10));
        return memory_reader(g.data(), g.size())(offset, len, buf);
    };
    asked = 0;
    reads = 0;
    EXPECT_EQ(inspect_file(slow, g.size(), &facts, [&] { return ++asked > 1; }), "stopped before the extended textual headers were counted");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(reads, 2u);  // the file header and the record at 3600
}

TEST(SegyFileFacts, FaultsAreNamed) {
    FileFacts facts;
    auto f = make_file(kIeee, true, 10, 3);
    EXPECT_NE(inspect_file(f.data(), 3599, &facts).find("fewer than the 3600 bytes"), std::string::npos);
    EXPECT_NE(inspect_file(f.data(), f.size() - 1, &facts).find("does not divide"), std::string::npos);
    auto g = f;
    store_uint(&g[kTextBytes + 24], 4, 2, true);
    EXPECT_NE(inspect_file(g.data(), g.size(), &facts).find("sample format code 4 (4-byte fixed point with gain"),
              std::string::npos);
    // A code known in the other byte order only, which the order constant rules out.
    store_uint(&g[kTextBytes + 24], 5, 2, true);
    store_uint(&g[kTextBytes + 96], 0x01020304u, 4, false);
    EXPECT_NE(inspect_file(g.data(), g.size(), &facts).find("unknown sample format code 1280 in the binary header"),
              std::string::npos);
    // No format code in either byte order: a text file, a record without the 3600-byte file header.
    const std::string line = "This is a line of text.\n";
    std::string text;
    while (text.size() < 4000) text += line;
    EXPECT_NE(inspect_file(reinterpret_cast<const unsigned char *>(text.data()), text.size(), &facts)
                  .find("not a SEG-Y file: bytes 3225-3226, where the binary header holds the sample format code, "
                        "hold 0x61 0x20 (24864 read big-endian, 8289 little-endian), which is no format code in "
                        "either byte order (readable: 1 IBM float, 2 int32"),
              std::string::npos);
    g = f;
    g[3224] = 0xbd;
    g[3225] = 0x14;
    EXPECT_NE(inspect_file(g.data(), g.size(), &facts).find("hold 0xBD 0x14 (-17132 read big-endian, 5309 little-endian)"),
              std::string::npos);
    g = f;
    store_uint(&g[kTextBytes + 20], 0, 2, true);
    store_uint(&g[kFileHeaderBytes + 114], 0, 2, true);
    EXPECT_NE(inspect_file(g.data(), g.size(), &facts).find("sample count is 0"), std::string::npos);
    // Additional trace headers (revision 2, both byte orders and the one-byte revision form).
    for (bool big : {true, false}) {
        g = make_file(kIeee, big, 10, 3);
        g[kTextBytes + 300] = 2;
        g[kTextBytes + 301] = 1;
        ASSERT_EQ(inspect_file(g.data(), g.size(), &facts), "");
        store_uint(&g[kTextBytes + 306], 1, 4, big);
        EXPECT_NE(inspect_file(g.data(), g.size(), &facts).find("1 additional 240-byte trace headers"),
                  std::string::npos);
    }
}

// Decodes a whole image through `read` and checks every 997th trace.
void expect_all_traces(int format, bool big, std::size_t ns, std::size_t n, const ReadAt &read, const FileFacts &facts) {
    std::vector<unsigned char> out(n * ns * 8);
    std::vector<std::int32_t> il(n);
    std::vector<std::uint16_t> nsh(n);
    Field fields[2] = {{188, Kind::sint, 4}, {114, Kind::uint, 2}};
    void *outs[2] = {il.data(), nsh.data()};
    read_traces(read, facts, out.data(), fields, outs, 2);
    for (std::size_t t = 0; t < n; t += 997) {
        EXPECT_EQ(il[t], static_cast<std::int32_t>(t));
        EXPECT_EQ(nsh[t], ns);
        for (std::size_t k = 0; k < ns; k += 7) {
            const double v = static_cast<double>(static_cast<std::int64_t>(t * 100 + k) % 120);
            const double want = format == kIbm || format == kIeee || format == kIeee64 || is_unsigned(format) ? v : -v;
            ASSERT_EQ(element(format, out.data(), t * ns + k), want) << format << " " << big << " " << t << " " << k;
        }
    }
}

TEST(SegyRead, AllTracesAndFieldsOverManyWorkers) {
    const std::size_t ns = 51, n = 20000;  // several MB: many pieces over the workers
    for (int format : kAllFormats) {
        for (bool big : {true, false}) {
            auto f = make_file(format, big, ns, n);
            FileFacts facts;
            ASSERT_EQ(inspect_file(f.data(), f.size(), &facts), "");
            EXPECT_EQ(facts.format, format);
            expect_all_traces(format, big, ns, n, memory_reader(f.data(), f.size()), facts);
        }
    }
}

TEST(SegyRead, AFileThatShrinksWhileReadGivesAnError) {
    const std::size_t ns = 100, n = 6000;
    auto f = make_file(kIbm, true, ns, n);
    const std::string path = temp_path("shrink");
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, f.data(), f.size()), static_cast<ssize_t>(f.size()));
    InputFile in(path);
    ASSERT_EQ(in.error(), 0);
    ASSERT_TRUE(in.regular());
    FileFacts facts;
    ASSERT_EQ(inspect_file(in.reader(), in.size(), &facts), "");
    expect_all_traces(kIbm, true, ns, n, in.reader(), facts);
    // A read of the trace headers alone fails as well where only the last samples are cut away.
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(f.size() - 10)), 0);
    std::vector<std::int32_t> il(n);
    const Field field{188, Kind::sint, 4};
    void *outs[1] = {il.data()};
    EXPECT_THROW(read_traces(in.reader(), facts, nullptr, &field, outs, 1), FileShrank);
    // Another program cuts the file between the size check and the read.
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(f.size() / 2)), 0);
    std::vector<float> out(n * ns);
    try {
        read_traces(in.reader(), facts, out.data(), nullptr, nullptr, 0);
        ADD_FAILURE() << "no error for a file that shrank";
    } catch (const FileShrank &e) {
        EXPECT_GE(e.at, f.size() / 2);  // whichever piece came back short first
        EXPECT_LT(e.at, f.size());
        EXPECT_EQ(e.expected, f.size());
        EXPECT_NE(std::string(e.what()).find("truncated"), std::string::npos);
    }
    // The header reads too.
    ASSERT_EQ(ftruncate(fd, 100), 0);
    EXPECT_THROW(inspect_file(in.reader(), in.size(), &facts), FileShrank);
    close(fd);
    unlink(path.c_str());
}

TEST(SegyRead, InputFileNeverBlocksAndSaysWhatItOpened) {
    const std::string fifo = temp_path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    InputFile pipe(fifo);  // would wait for a writer without O_NONBLOCK
    EXPECT_EQ(pipe.error(), 0);
    EXPECT_FALSE(pipe.regular());
    unlink(fifo.c_str());
    InputFile dir(::testing::TempDir());
    EXPECT_EQ(dir.error(), EISDIR);
    InputFile missing(fifo);
    EXPECT_EQ(missing.error(), ENOENT);
}

TEST(SegyWrite, FitValuesRoundsAndChecksRange) {
    const double in[] = {1.5, -1.5, 2.4, 32767.0, -32768.0};
    std::int64_t out[5];
    EXPECT_EQ(fit_values(in, 5, 2, true, out), -1);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], -2);
    EXPECT_EQ(out[2], 2);
    const double over[] = {0.0, 32767.6};
    EXPECT_EQ(fit_values(over, 2, 2, true, out), 1);
    const double neg[] = {-0.4, -1.0};
    EXPECT_EQ(fit_values(neg, 2, 2, false, out), 1);
    const double big[] = {65535.0, 2147483647.0, -2147483648.0};
    EXPECT_EQ(fit_values(big, 1, 2, false, out), -1);
    EXPECT_EQ(fit_values(big + 1, 2, 4, true, out), -1);
    const double nan[] = {std::nan(""), std::numeric_limits<double>::infinity()};
    EXPECT_EQ(fit_values(nan, 2, 4, true, out), 0);
    EXPECT_EQ(fit_values(nan + 1, 1, 4, true, out), 0);
}

TEST(SegyWrite, PacksHeadersAndTransposedSamples) {
    // 3 samples x 4 traces, C order (traces adjacent) and Fortran order (samples adjacent).
    const std::size_t ns = 3, nt = 4;
    std::vector<double> c(ns * nt), fo(ns * nt);
    for (std::size_t k = 0; k < ns; ++k)
        for (std::size_t t = 0; t < nt; ++t) c[k * nt + t] = fo[t * ns + k] = 10.0 * t + k - 0.5;
    const std::int64_t il[4] = {1, 1, 2, -2};
    Column col{188, 4, il};
    for (int layout = 0; layout < 2; ++layout) {
        SampleMatrix m = layout == 0 ? SampleMatrix{reinterpret_cast<const char *>(c.data()), Elem::f64, ns, nt, 8 * nt, 8}
                                     : SampleMatrix{reinterpret_cast<const char *>(fo.data()), Elem::f64, ns, nt, 8, 8 * ns};
        const std::size_t tb = kTraceHeaderBytes + 4 * ns;
        std::vector<unsigned char> out(nt * tb, 0xAA);
        pack_traces(m, 0, nt, &col, 1, 4000, out.data());
        for (std::size_t t = 0; t < nt; ++t) {
            const unsigned char *h = &out[t * tb];
            EXPECT_EQ(load_int(h + 188, 4, true), il[t]);
            EXPECT_EQ(load_uint(h + 114, 2, true), ns);
            EXPECT_EQ(load_uint(h + 116, 2, true), 4000u);
            EXPECT_EQ(h[0], 0);  // fields not given are zero
            float s[3];
            decode_samples(h + kTraceHeaderBytes, ns, kIeee, true, s);
            for (std::size_t k = 0; k < ns; ++k) EXPECT_EQ(s[k], static_cast<float>(10.0 * t + k - 0.5));
        }
    }
    unsigned char bin[kBinaryBytes];
    encode_binary_header(bin, 1234, 2000);
    EXPECT_EQ(load_uint(bin + 20, 2, true), 1234u);
    EXPECT_EQ(load_uint(bin + 16, 2, true), 2000u);
    EXPECT_EQ(load_uint(bin + 24, 2, true), 5u);
    EXPECT_EQ(load_uint(bin + 300, 2, true), 0x0100u);
    EXPECT_EQ(load_uint(bin + 302, 2, true), 1u);
}

TEST(SegyWrite, WrittenFileReadsBack) {
    const std::size_t ns = 33, nt = 40000;
    std::vector<float> a(ns * nt);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<float>(i % 1000) * 0.25f;
    std::vector<std::int64_t> xl(nt);
    for (std::size_t t = 0; t < nt; ++t) xl[t] = static_cast<std::int64_t>(t);
    Column col{192, 4, xl.data()};
    SampleMatrix m{reinterpret_cast<const char *>(a.data()), Elem::f32, ns, nt, static_cast<std::ptrdiff_t>(4 * nt), 4};
    std::vector<unsigned char> header(kFileHeaderBytes, 0x40);
    encode_binary_header(header.data() + kTextBytes, ns, 1000);
    const std::string path = temp_path("write");
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    write_traces(fd, header.data(), m, &col, 1, 1000);
    close(fd);

    InputFile in(path);
    ASSERT_EQ(in.error(), 0);
    FileFacts facts;
    ASSERT_EQ(inspect_file(in.reader(), in.size(), &facts), "");
    EXPECT_EQ(facts.ntraces, nt);
    std::vector<float> back(ns * nt);
    std::vector<std::int32_t> got(nt);
    Field f{192, Kind::sint, 4};
    void *outs[1] = {got.data()};
    read_traces(in.reader(), facts, back.data(), &f, outs, 1);
    for (std::size_t t = 0; t < nt; t += 101) {
        EXPECT_EQ(got[t], static_cast<std::int32_t>(t));
        for (std::size_t k = 0; k < ns; ++k) ASSERT_EQ(back[t * ns + k], a[k * nt + t]);
    }
    unlink(path.c_str());
}
