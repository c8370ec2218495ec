#include <tsurf_parse.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace dcore::tsurf;

namespace {

Reader xyz() { return Reader({3, 4, 5}, {"X", "Y", "Z"}); }

bool feed_all(Reader &r, const std::string &text) { return r.feed(text.data(), text.size()) && r.finish(); }

}  // namespace

TEST(TsurfParseReader, LinesSplitAcrossChunksReadAlike) {
    const std::string text =
        "GOCAD TSurf 1\n"
        "\tVRTX 1 1.5 2 3\n"
        "PVRTX 2 4 5 6 99\n"
        "vrtx 9 9 9 9\n"        // lower case: skipped
        "VRTXfoo 3 7 8 9\n"     // the keyword needs nothing after it
        "TRGL 1 2 3 77\n"       // ids after the third are ignored
        "VRTX\xc2\xa0" "4\x1c" "10\xe3\x80\x80" "11 12\xc2\x85\n"  // Unicode white space splits and strips
        "TRGL 4 3 2";            // no line end at the end
    Reader whole = xyz();
    ASSERT_TRUE(feed_all(whole, text));
    Reader bytes = xyz();
    for (char c : text) ASSERT_TRUE(bytes.feed(&c, 1));
    ASSERT_TRUE(bytes.finish());
    for (Reader *r : {&whole, &bytes}) {
        EXPECT_EQ(r->rows(), 4u);
        EXPECT_EQ(r->values(), (std::vector<float>{1.5f, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        ASSERT_TRUE(r->join_triangles());
        EXPECT_EQ(r->triangles(), (std::vector<std::int32_t>{0, 1, 2, 3, 2, 1}));
        EXPECT_FALSE(r->bad_value.set || r->bad_triangle.set);
    }
}

TEST(TsurfParseReader, ShortVertexLineStopsReading) {
    Reader r = xyz();
    EXPECT_FALSE(feed_all(r, "VRTX 1 1 2 3\nVRTX 2 1 2\nVRTX 3 x\n"));
    EXPECT_EQ(r.short_line.message, "line 2: the vertex line has 4 tokens, but column 'Z' takes token 5");
}

TEST(TsurfParseReader, BadValuesAreReportedInFileOrderAfterReading) {
    Reader r = xyz();
    ASSERT_TRUE(feed_all(r, "VRTX 1 1 2 3\nVRTX 2 1 1_0 zz\nVRTX 3 q 2 3\n"));
    ASSERT_EQ(r.pending_reals.size(), 1u);
    EXPECT_EQ(r.bad_value.message, "line 2: 'zz' in column 'Z' is not a number");
    r.settle_real(0, false, 0.0);  // the interpreter rejects "1_0" too: it comes first
    EXPECT_EQ(r.bad_value.message, "line 2: '1_0' in column 'Y' is not a number");
}

TEST(TsurfParseReader, PendingTokensTakeTheInterpretersValues) {
    Reader r = xyz();
    ASSERT_TRUE(feed_all(r, "VRTX 1_0 1 2_5 3\nVRTX 2 4 5 6\nTRGL 1_0 2 1_0\n"));
    ASSERT_EQ(r.pending_reals.size(), 1u);
    ASSERT_EQ(r.pending_ids.size(), 3u);
    r.settle_real(0, true, 25.0);
    for (std::size_t i = 0; i < 3; ++i) r.settle_id(i, Number::Ok, 10);
    EXPECT_EQ(r.values(), (std::vector<float>{1, 25, 3, 4, 5, 6}));
    ASSERT_TRUE(r.join_triangles());
    EXPECT_EQ(r.triangles(), (std::vector<std::int32_t>{0, 1, 0}));
}

TEST(TsurfParseReader, TrianglesJoinVertexesByTheirIds) {
    // ids out of order and with gaps, an ATOM reusing a vertex, then a second surface whose ids
    // start again at 1
    Reader r = xyz();
    ASSERT_TRUE(feed_all(r,
                         "GOCAD TSurf 1\nVRTX 30 0 0 0\nVRTX 10 1 0 0\nVRTX 20 0 1 0\nATOM 40 10\n"
                         "TRGL 10 20 30\nTRGL 40 30 20\nEND\n"
                         "GOCAD TSurf 1\nVRTX 1 5 5 5\nVRTX 2 6 5 5\nVRTX 3 5 6 5\nTRGL 1 2 3\nEND\n"));
    ASSERT_TRUE(r.join_triangles());
    EXPECT_EQ(r.triangles(), (std::vector<std::int32_t>{1, 2, 0, 1, 0, 2, 3, 4, 5}));
}

TEST(TsurfParseReader, UnjoinableTrianglesAreNamed) {
    struct Case {
        const char *text, *message;
    };
    const Case cases[] = {
        {"VRTX 1 0 0 0\nVRTX 2 0 0 0\nTRGL 0 1 2\n", "line 3: the triangle names vertex id 0, which no vertex of its surface has"},
        {"VRTX 1 0 0 0\nVRTX 1 0 0 0\nVRTX 2 0 0 0\nTRGL 1 2 2\n",
         "line 4: the triangle names vertex id 1, which more than one vertex of its surface has"},
        {"VRTX 1 0 0 0\nATOM 2 7\nTRGL 1 2 1\n",
         "line 3: the triangle names vertex id 2, an atom of a vertex that its surface does not have"},
        {"VRTX 1 0 0 0\nEND\nVRTX 2 0 0 0\nTRGL 2 1 2\n", "line 4: the triangle names vertex id 1, which no vertex of its surface has"},
    };
    for (const Case &c : cases) {
        Reader r = xyz();
        ASSERT_TRUE(feed_all(r, c.text));
        EXPECT_FALSE(r.bad_triangle.set);
        EXPECT_FALSE(r.join_triangles()) << c.text;
        EXPECT_EQ(r.bad_triangle.message, c.message);
    }
}

TEST(TsurfParseReader, MalformedTriangleLines) {
    Reader r = xyz();
    ASSERT_TRUE(feed_all(r, "VRTX 1 0 0 0\nTRGL 1 1 1\nTRGL 1 2\nTRGL 1.0 1 1\n"));
    EXPECT_EQ(r.bad_triangle.message, "line 3: the triangle line has 2 vertex ids, 3 are needed");
    Reader s = xyz();
    ASSERT_TRUE(feed_all(s, "TRGL 1 x 1\nTRGL\n"));
    EXPECT_EQ(s.bad_triangle.message, "line 1: the vertex id 'x' of the triangle is not an integer");
    Reader t = xyz();
    ASSERT_TRUE(feed_all(t, "TRGL 1 2 99999999999999999999\n"));
    EXPECT_EQ(t.bad_triangle.message, "line 1: the vertex id '99999999999999999999' of the triangle is out of range");
}

TEST(TsurfParseReader, NoLinesGiveNoRows) {
    Reader r = xyz();
    ASSERT_TRUE(feed_all(r, ""));
    ASSERT_TRUE(r.join_triangles());
    EXPECT_EQ(r.rows(), 0u);
    EXPECT_EQ(r.triangle_count(), 0u);
}
