#include "segy_format.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace dcore::segy;

namespace {

std::vector<unsigned char> be32(std::uint32_t v) {
    return {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
            static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
}

// A file image: EBCDIC-blank text, binary header in the given order, `ntraces` traces whose
// header holds the trace index at 188 (int32) and whose samples are t * 100 + k.
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
            } else {
                bits = static_cast<std::uint64_t>(-v);
            }
            store_uint(tr + kTraceHeaderBytes + k * sb, bits, sb, big);
        }
    }
    return f;
}

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
    }
    EXPECT_EQ(sample_bytes(4), 0u);
    EXPECT_EQ(sample_bytes(6), 0u);
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
    // No sample count in the binary header: the first trace header gives it.
    auto f = make_file(kIeee, true, 9, 2);
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

TEST(SegyFileFacts, ExtendedTextualHeadersFromRevisionOne) {
    auto f = make_file(kIeee, true, 5, 3);
    f.insert(f.begin() + kFileHeaderBytes, 2 * kTextBytes, 0x40);
    store_uint(&f[kTextBytes + 304], 2, 2, true);
    FileFacts facts;
    // Revision 0: the count bytes are not honoured, so the trace length does not divide.
    EXPECT_NE(inspect_file(f.data(), f.size(), &facts), "");
    store_uint(&f[kTextBytes + 300], 0x0100, 2, true);
    ASSERT_EQ(inspect_file(f.data(), f.size(), &facts), "");
    EXPECT_EQ(facts.data_offset, 3600u + 6400u);
    EXPECT_EQ(facts.ntraces, 3u);
}

TEST(SegyFileFacts, FaultsAreNamed) {
    FileFacts facts;
    auto f = make_file(kIeee, true, 10, 3);
    EXPECT_NE(inspect_file(f.data(), 3599, &facts).find("fewer than the 3600 bytes"), std::string::npos);
    EXPECT_NE(inspect_file(f.data(), f.size() - 1, &facts).find("does not divide"), std::string::npos);
    auto g = f;
    store_uint(&g[kTextBytes + 24], 4, 2, true);
    EXPECT_NE(inspect_file(g.data(), g.size(), &facts).find("unknown sample format code 4"), std::string::npos);
    store_uint(&g[kTextBytes + 24], 0x1234, 2, true);
    EXPECT_NE(inspect_file(g.data(), g.size(), &facts).find("unknown sample format code"), std::string::npos);
    g = f;
    store_uint(&g[kTextBytes + 20], 0, 2, true);
    store_uint(&g[kFileHeaderBytes + 114], 0, 2, true);
    EXPECT_NE(inspect_file(g.data(), g.size(), &facts).find("sample count is 0"), std::string::npos);
}

TEST(SegyRead, AllTracesAndFieldsOverManyWorkers) {
    const std::size_t ns = 50, n = 20000;  // several MB: spread over workers and release pieces
    for (int format : {kIbm, kInt32, kInt16, kIeee, kInt8}) {
        for (bool big : {true, false}) {
            auto f = make_file(format, big, ns, n);
            FileFacts facts;
            ASSERT_EQ(inspect_file(f.data(), f.size(), &facts), "");
            std::vector<unsigned char> out(n * ns * 4);
            std::vector<std::int32_t> il(n);
            std::vector<std::uint16_t> nsh(n);
            Field fields[2] = {{188, Kind::sint, 4}, {114, Kind::uint, 2}};
            void *outs[2] = {il.data(), nsh.data()};
            read_traces(f.data(), facts, out.data(), fields, outs, 2, false);
            for (std::size_t t = 0; t < n; t += 997) {
                EXPECT_EQ(il[t], static_cast<std::int32_t>(t));
                EXPECT_EQ(nsh[t], ns);
                for (std::size_t k = 0; k < ns; k += 7) {
                    const std::int64_t v = static_cast<std::int64_t>(t * 100 + k) % 120;
                    const std::size_t i = t * ns + k;
                    double got;
                    switch (format) {
                        case kIbm: case kIeee: got = reinterpret_cast<float *>(out.data())[i]; break;
                        case kInt32: got = -reinterpret_cast<std::int32_t *>(out.data())[i]; break;
                        case kInt16: got = -reinterpret_cast<std::int16_t *>(out.data())[i]; break;
                        default: got = -reinterpret_cast<std::int8_t *>(out.data())[i]; break;
                    }
                    ASSERT_EQ(got, static_cast<double>(v)) << format << " " << big << " " << t << " " << k;
                }
            }
        }
    }
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

TEST(SegyWrite, WrittenFileMapsAndReadsBack) {
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

    MappedFile mf(path);
    ASSERT_EQ(mf.error(), 0);
    FileFacts facts;
    ASSERT_EQ(inspect_file(mf.data(), mf.size(), &facts), "");
    EXPECT_EQ(facts.ntraces, nt);
    std::vector<float> back(ns * nt);
    std::vector<std::int32_t> got(nt);
    Field f{192, Kind::sint, 4};
    void *outs[1] = {got.data()};
    read_traces(mf.data(), facts, back.data(), &f, outs, 1, true);
    for (std::size_t t = 0; t < nt; t += 101) {
        EXPECT_EQ(got[t], static_cast<std::int32_t>(t));
        for (std::size_t k = 0; k < ns; ++k) ASSERT_EQ(back[t * ns + k], a[k * nt + t]);
    }
    unlink(path.c_str());
    MappedFile missing(path);
    EXPECT_EQ(missing.error(), ENOENT);
}
