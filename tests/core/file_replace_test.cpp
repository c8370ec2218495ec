#include <gtest/gtest.h>

#include <dirent.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

std::vector<std::string> names_in(const std::string &dir) {
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

enum class Ended { finished, killed_at_rename, otherwise };

// Runs `write` (true when it succeeded) in a child process that the kernel kills outright, as
// SIGKILL would, the moment it renames anything.
template <typename Write>
Ended killed_at_rename(Write write) {
    const pid_t pid = fork();
    if (pid == 0) {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
#ifdef __NR_rename
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_rename, 3, 0),
#else
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat, 3, 0),
#endif
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat, 2, 0),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        };
        sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            _exit(2);
        _exit(write() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return Ended::otherwise;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return Ended::finished;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS ? Ended::killed_at_rename : Ended::otherwise;
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

// A process killed outright (SIGKILL, SIGTERM's default action, _exit) while it commits. A new
// target is linked straight under its own name: no other name ever appears, and no rename comes
// after. An existing one is renamed over from a temporary name: a kill right before the rename
// leaves that name, holding the whole new content, beside the old file. A file that appears under
// the new target's name meanwhile is replaced as an existing one.
TEST_F(FileReplace, KillAtTheLastStepOfACommitLeavesNoNameOfANewTarget) {
    {
        FileReplacement probe;
        ASSERT_EQ(probe.open(at("probe")), 0);
        if (!probe.unnamed_temporary()) GTEST_SKIP() << "the file system of " << dir << " has no unnamed files";
    }
    auto writing = [this](const char *name, const std::string &text) {
        return [this, name, text] {
            FileReplacement r;
            return r.open(at(name)) == 0 && r.begin() == 0 && r.write(text.data(), text.size()) == 0 && r.commit() == 0;
        };
    };
    EXPECT_EQ(killed_at_rename(writing("new", "first\n")), Ended::finished);
    EXPECT_EQ(names_in(dir), std::vector<std::string>{"new"});
    EXPECT_EQ(get("new"), "first\n");

    EXPECT_EQ(killed_at_rename(writing("new", "second\n")), Ended::killed_at_rename);
    const std::vector<std::string> left = names_in(dir);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].rfind(".dorar-", 0), 0u) << left[0];
    EXPECT_EQ(get(left[0]), "second\n");
    EXPECT_EQ(get("new"), "first\n");

    FileReplacement r;
    ASSERT_EQ(r.open(at("late")), 0);
    ASSERT_EQ(r.begin(), 0);
    ASSERT_EQ(r.write("ours\n", 5), 0);
    put("late", "theirs\n");
    ASSERT_EQ(r.commit(), 0);
    EXPECT_EQ(get("late"), "ours\n");
    EXPECT_EQ(names_in(dir), (std::vector<std::string>{left[0], "late", "new"}));
}
