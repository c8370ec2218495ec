#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "file_replace.hpp"

using dcore::FileReplacement;
using dcore::ReplaceWay;

namespace {

struct FileReplace : ::testing::Test {
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/file_replace_test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }
    std::string at(const std::string &name) const { return dir + "/" + name; }
    void put(const std::string &name, const std::string &text) const { std::ofstream(at(name)) << text; }
    std::string get(const std::string &name) const {
        std::ifstream f(at(name));
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
};

bool temporary_left(const std::string &dir) {
    return std::system(("ls -A '" + dir + "' | grep -q '^\\.dorar-'").c_str()) == 0;
}

}  // namespace

TEST_F(FileReplace, FinalNameFollowsRelativeAbsoluteAndDanglingLinks) {
    ASSERT_EQ(mkdir(at("sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("../end", at("sub/rel").c_str()), 0);     // relative to the link's folder
    ASSERT_EQ(symlink(at("sub/rel").c_str(), at("abs").c_str()), 0);
    ASSERT_EQ(symlink("loop", at("loop").c_str()), 0);
    std::string out;
    EXPECT_EQ(dcore::final_name(at("abs"), &out), 0);
    EXPECT_EQ(out, at("sub/../end"));  // end does not exist yet: it is still the name
    EXPECT_EQ(dcore::final_name(at("plain"), &out), 0);
    EXPECT_EQ(out, at("plain"));
    EXPECT_EQ(dcore::final_name(at("loop"), &out), ELOOP);
}

TEST_F(FileReplace, OldFileStaysUntilCommitAndNothingIsLeftOnAbandon) {
    put("old", "old content\n");
    struct stat before;
    ASSERT_EQ(stat(at("old").c_str(), &before), 0);
    {
        FileReplacement r;
        ASSERT_EQ(r.open(at("old")), 0);
        EXPECT_EQ(r.way(), ReplaceWay::renamed);
        ASSERT_EQ(r.begin(), 0);
        ASSERT_EQ(r.write("half", 4), 0);
        EXPECT_EQ(get("old"), "old content\n");
    }  // abandoned
    EXPECT_EQ(get("old"), "old content\n");
    EXPECT_FALSE(temporary_left(dir));

    // in place (a second link): nothing is emptied before begin(), so abandoning before it keeps all
    ASSERT_EQ(link(at("old").c_str(), at("second").c_str()), 0);
    FileReplacement r;
    ASSERT_EQ(r.open(at("second")), 0);
    EXPECT_EQ(r.way(), ReplaceWay::in_place);
    r.abandon();
    EXPECT_EQ(get("old"), "old content\n");
    ASSERT_EQ(r.open(at("second")), 0);
    ASSERT_EQ(r.begin(), 0);
    ASSERT_EQ(r.write("new\n", 4), 0);
    ASSERT_EQ(r.commit(), 0);
    struct stat after;
    ASSERT_EQ(stat(at("old").c_str(), &after), 0);
    EXPECT_EQ(get("old"), "new\n");
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(FileReplace, NewFileGetsTheModeOpenGivesIt) {
    const mode_t mask = umask(027);
    FileReplacement r;
    ASSERT_EQ(r.open(at("new")), 0);
    EXPECT_EQ(r.way(), ReplaceWay::renamed);
    EXPECT_EQ(access(at("new").c_str(), F_OK), -1);  // not there before commit
    ASSERT_EQ(r.begin(), 0);
    ASSERT_EQ(r.write("abc", 3), 0);
    ASSERT_EQ(r.commit(), 0);
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat(at("new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(get("new"), "abc");
    EXPECT_FALSE(temporary_left(dir));
    EXPECT_EQ(r.open(""), ENOENT);
    EXPECT_EQ(r.open(at("new/")), EISDIR);  // as open(path, "w") fails on a file's name with a slash
}

// The unnamed temporary file: nothing in the folder but the old file while the new one is written,
// and a stop asked for at commit keeps the old file and leaves nothing either.
TEST_F(FileReplace, UnnamedTemporaryLeavesNothingBesideTheTarget) {
    put("old", "old content\n");
    auto listing = [this] { return std::system(("test \"$(ls -A '" + dir + "')\" = old").c_str()) == 0; };
    for (bool stopped : {true, false}) {
        FileReplacement r;
        ASSERT_EQ(r.open(at("old")), 0);
        if (!r.unnamed_temporary()) GTEST_SKIP() << "the file system of " << dir << " has no unnamed files";
        ASSERT_EQ(r.begin(), 0);
        ASSERT_EQ(r.write("new\n", 4), 0);
        EXPECT_TRUE(listing());
        int asked = 0;
        EXPECT_EQ(r.commit([&] { return ++asked, stopped; }), stopped ? ECANCELED : 0);
        EXPECT_GE(asked, 1);
        EXPECT_EQ(get("old"), stopped ? "old content\n" : "new\n");
        EXPECT_TRUE(listing());
    }
    {
        FileReplacement r;  // abandoned
        ASSERT_EQ(r.open(at("old")), 0);
        ASSERT_EQ(r.begin(), 0);
        ASSERT_EQ(r.write("half", 4), 0);
    }
    EXPECT_EQ(get("old"), "new\n");
    EXPECT_TRUE(listing());
}
