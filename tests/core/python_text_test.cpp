#include <python_text.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

using namespace dcore::pytext;

namespace {

Number real(const std::string &s, double &v) { return parse_real(s.data(), s.size(), v); }
Number integer(const std::string &s, std::int64_t &v) { return parse_integer(s.data(), s.size(), v); }

}  // namespace

// What float() accepts, rejects, or leaves to the interpreter (values as float() gives them).
TEST(PythonText, RealsReadAsFloatReadsThem) {
    struct Case {
        const char *token;
        Number verdict;
        double value;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"1.5", Number::Ok, 1.5},       {"+.5", Number::Ok, 0.5},        {"1.", Number::Ok, 1.0},
        {"007", Number::Ok, 7.0},       {"-2.5E+2", Number::Ok, -250.0}, {"1e400", Number::Ok, inf},
        {"-1e400", Number::Ok, -inf},   {"1e-400", Number::Ok, 0.0},     {"Infinity", Number::Ok, inf},
        {"-iNF", Number::Ok, -inf},     {"0x10", Number::Invalid, 0},    {"1e", Number::Invalid, 0},
        {"1e+", Number::Invalid, 0},    {".", Number::Invalid, 0},       {"e5", Number::Invalid, 0},
        {"--1", Number::Invalid, 0},    {"infinit", Number::Invalid, 0}, {"nan(1)", Number::Invalid, 0},
        {"", Number::Invalid, 0},       {"1,5", Number::Invalid, 0},     {"1_0", Number::Pending, 0},
        {"\xd9\xa1", Number::Pending, 0}, // ARABIC-INDIC DIGIT ONE
    };
    for (const Case &c : cases) {
        double v = -123.0;
        EXPECT_EQ(real(c.token, v), c.verdict) << c.token;
        if (c.verdict == Number::Ok) EXPECT_EQ(v, c.value) << c.token;
    }
    double v = 0;
    ASSERT_EQ(real("4.9e-324", v), Number::Ok);  // the smallest subnormal, not zero
    EXPECT_EQ(v, std::numeric_limits<double>::denorm_min());
    ASSERT_EQ(real("-0", v), Number::Ok);
    EXPECT_TRUE(std::signbit(v));
    ASSERT_EQ(real("-NaN", v), Number::Ok);
    EXPECT_TRUE(std::isnan(v) && std::signbit(v));
    // Correct rounding: the nearest double, as float() gives it.
    ASSERT_EQ(real("0.1", v), Number::Ok);
    EXPECT_EQ(v, 0.1);
    ASSERT_EQ(real("1.7976931348623157e308", v), Number::Ok);
    EXPECT_EQ(v, std::numeric_limits<double>::max());
}

TEST(PythonText, IntegersReadAsIntReadsThem) {
    std::int64_t v = 0;
    EXPECT_EQ(integer("007", v), Number::Ok);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(integer("+7", v), Number::Ok);
    EXPECT_EQ(integer("-9223372036854775808", v), Number::Ok);
    EXPECT_EQ(v, std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(integer("9223372036854775808", v), Number::OutOfRange);
    EXPECT_EQ(integer("123456789012345678901234567890", v), Number::OutOfRange);
    for (const char *bad : {"1.0", "", "+", "-", "1e3", "0x1", "3a"}) EXPECT_EQ(integer(bad, v), Number::Invalid) << bad;
    EXPECT_EQ(integer("1_0", v), Number::Pending);
}

TEST(PythonText, WhiteSpaceIsStrIsspace) {
    for (std::uint32_t cp : {0x9u, 0xAu, 0xBu, 0xCu, 0xDu, 0x1Cu, 0x1Fu, 0x20u, 0x85u, 0xA0u, 0x1680u, 0x2000u, 0x200Au,
                             0x2028u, 0x2029u, 0x202Fu, 0x205Fu, 0x3000u})
        EXPECT_TRUE(is_space(cp)) << cp;
    for (std::uint32_t cp : {0x0u, 0x8u, 0x1Bu, 0x21u, 0x7Fu, 0x84u, 0x200Bu, 0xFEFFu}) EXPECT_FALSE(is_space(cp)) << cp;
}
