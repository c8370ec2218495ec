#include "file_replace.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <random>
#include <vector>

namespace dcore {

namespace {

int open_retrying(const char *path, int flags, mode_t mode, const ShouldStop &stop = {}) {
    return retry_interrupted([&] { return ::open(path, flags, mode); }, stop);
}

// The replacements under way whose temporary file is to be renamed over a target. The process
// may end while a thread (a daemon thread at the interpreter's end) writes one with nobody left
// to drop it: at exit the named ones are removed and none is renamed any more. Never destroyed,
// since threads may still use it while the process exits.
struct UnderWay {
    std::mutex mu;
    std::vector<FileReplacement *> all;
    bool exiting = false;
};

UnderWay *under_way_now = nullptr;

// A fork waits until no thread holds the lock (it is held for a few system calls at most, never
// while waiting for anything), so the child gets it free. The child's list starts empty: the
// parent's replacements are the parent's, and the child's copies of them are dropped, so that its
// exit, or its own thread's copy of a replacement, neither removes nor renames the parent's files.
void lock_for_fork() { under_way_now->mu.lock(); }
void unlock_after_fork() { under_way_now->mu.unlock(); }

UnderWay &under_way() {
    static UnderWay *u = [] {
        under_way_now = new UnderWay;
        pthread_atfork(lock_for_fork, unlock_after_fork, forget_parent_replacements);
        return under_way_now;
    }();
    return *u;
}

struct DropAtExit {
    DropAtExit() { under_way(); }
    ~DropAtExit() { drop_temporaries_at_exit(); }
} drop_at_exit;

std::string folder_of(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// In a sticky folder only the file's owner, the folder's owner or the superuser may rename over
// a file.
bool may_rename_over(const struct stat &file, const struct stat &folder) {
    if (!(folder.st_mode & S_ISVTX)) return true;
    const uid_t me = geteuid();
    return me == 0 || file.st_uid == me || folder.st_uid == me;
}

// A temporary name in `folder`, short whatever the target's name, so any name open() accepts works.
std::string temporary_name(const std::string &folder, std::random_device &rd) {
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = folder + "/.dorar-";
    unsigned r = rd();
    for (int i = 0; i < 6; ++i, r /= 36) name += digits[r % 36];
    return name;
}

// Links the complete unnamed file `fd` in under `name`, which must not exist (EEXIST where it
// does): through /proc/self/fd, or else by the descriptor itself (AT_EMPTY_PATH, which the kernel
// may keep for privileged processes). Returns 0 or an errno.
int link_unnamed_as(int fd, const std::string &name) {
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != EEXIST && linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    return errno;
}

}  // namespace

int final_name(const std::string &path, std::string *out) {
    std::string name = path;
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat st;
        if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *out = name;
            return 0;
        }
        std::string to(static_cast<std::size_t>(st.st_size) + 1, '\0');
        for (;;) {
            const ssize_t n = readlink(name.c_str(), &to[0], to.size());
            if (n < 0) return errno;
            if (static_cast<std::size_t>(n) < to.size()) {
                to.resize(static_cast<std::size_t>(n));
                break;
            }
            to.resize(to.size() * 2);  // the link changed meanwhile
        }
        if (to.empty()) return ENOENT;
        // A relative link is read from the folder that holds it.
        if (to[0] == '/') {
            name = to;
        } else {
            const std::size_t slash = name.rfind('/');
            name = (slash == std::string::npos ? std::string() : name.substr(0, slash + 1)) + to;
        }
    }
    return ELOOP;
}

// An unnamed file in `folder` (O_TMPFILE), used only where it can be linked in later through
// /proc/self/fd. Any failure (a file system or kernel without unnamed files: EOPNOTSUPP, EISDIR,
// EINVAL, ...) leaves the named way to be tried.
bool FileReplacement::make_unnamed(const std::string &folder, unsigned mode) {
    const int fd = open_retrying(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd < 0) return false;
    struct stat by_fd, by_proc;
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    if (fstat(fd, &by_fd) != 0 || stat(proc.c_str(), &by_proc) != 0 || by_fd.st_dev != by_proc.st_dev ||
        by_fd.st_ino != by_proc.st_ino) {
        close(fd);
        return false;
    }
    tmp_fd_ = fd;
    tmp_.clear();
    return true;
}

// The temporary file beside the target, listed among the replacements under way. A named one is
// made under the list's lock, so that no exit can come between its making and its listing and
// leave it behind; once the process exits none is made (ECANCELED).
int FileReplacement::make_temporary(const std::string &folder, unsigned mode) {
    UnderWay &u = under_way();
    std::lock_guard<std::mutex> lock(u.mu);
    if (u.exiting) return ECANCELED;
    bool made = make_unnamed(folder, mode);
    std::random_device rd;
    for (int attempt = 0; !made && attempt < 64; ++attempt) {
        const std::string name = temporary_name(folder, rd);
        const int fd = open_retrying(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            tmp_ = name;
            tmp_fd_ = fd;
            made = true;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (!made) return errno;  // open()'s, or the unnamed way's
    u.all.push_back(this);
    listed_ = true;
    return 0;
}

// Gives the complete unnamed file a temporary name beside the target, to be renamed over it (a
// link cannot replace a file).
int FileReplacement::link_unnamed() {
    std::random_device rd;
    const std::string folder = folder_of(final_);
    for (int attempt = 0; attempt < 64; ++attempt) {
        const std::string name = temporary_name(folder, rd);
        const int err = link_unnamed_as(tmp_fd_, name);
        if (!err) {
            tmp_ = name;
            return 0;
        }
        if (err != EEXIST) return err;
    }
    return EEXIST;
}

// Opens the target itself for writing with `flags` besides O_WRONLY | O_CREAT; a regular file is
// then written in place, anything else directly. `st` receives what the descriptor names.
int FileReplacement::open_target(const std::string &path, int flags, struct stat *st, const ShouldStop &stop) {
    target_fd_ = open_retrying(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666, stop);
    if (target_fd_ < 0) return errno;
    if (fstat(target_fd_, st) != 0) {
        const int err = errno;
        abandon();
        return err;
    }
    way_ = S_ISREG(st->st_mode) ? ReplaceWay::in_place : ReplaceWay::direct;
    return 0;
}

// Exactly what open(path, "w") does: create or truncate.
int FileReplacement::open_as_open_does(const std::string &path, const ShouldStop &stop) {
    struct stat st;
    return open_target(path, O_TRUNC, &st, stop);
}

int FileReplacement::open(const std::string &path, const ShouldStop &stop) {
    abandon();
    // An empty path or one that ends in a slash never names a file that can be written.
    if (path.empty() || path.back() == '/') return open_as_open_does(path, stop);

    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        // A path that names no file and cannot name a new one fails as open() fails.
        if (errno != ENOENT) return open_as_open_does(path, stop);
    } else {
        // An existing file is opened with open()'s own flags but for the truncation, so that it is
        // checked exactly as open() checks it (permissions, the kernel's sticky-folder protections).
        if (const int err = open_target(path, 0, &st, stop)) return err;
        if (way_ == ReplaceWay::direct || st.st_nlink != 1) return 0;
    }
    const bool exists = target_fd_ >= 0;
    // When anything below fails, the file is written in place, or created as open() creates it.
    auto fall_back = [&]() { return exists ? 0 : open_as_open_does(path, stop); };

    if (final_name(path, &final_) != 0) return fall_back();
    struct stat named, folder;
    if (exists && (stat(final_.c_str(), &named) != 0 || named.st_dev != st.st_dev || named.st_ino != st.st_ino))
        return fall_back();  // the link changed under us
    const std::string dir = folder_of(final_);
    if (stat(dir.c_str(), &folder) != 0) return fall_back();
    if (exists && !may_rename_over(st, folder)) return fall_back();
    // A new file gets the mode open() would give it; an old file's mode is set once it is ours.
    if (const int err = make_temporary(dir, exists ? 0600 : 0666)) {
        if (err != ECANCELED) return fall_back();
        abandon();
        return err;
    }
    if (exists) {
        struct stat tmp;
        bool ok = fstat(tmp_fd_, &tmp) == 0;
        if (ok && (tmp.st_uid != st.st_uid || tmp.st_gid != st.st_gid))
            ok = fchown(tmp_fd_, st.st_uid, st.st_gid) == 0;  // an owner we cannot keep: in place
        if (ok) ok = fchmod(tmp_fd_, st.st_mode & 07777) == 0;
        if (!ok) {
            drop_temporary();
            return 0;
        }
    }
    way_ = ReplaceWay::renamed;
    new_target_ = !exists;
    return 0;
}

void drop_temporaries_at_exit() {
    UnderWay &u = under_way();
    std::lock_guard<std::mutex> lock(u.mu);
    u.exiting = true;
    for (FileReplacement *r : u.all) {
        // The descriptor stays its owner's: a thread may still be writing to it.
        if (!r->dropped_ && !r->tmp_.empty()) unlink(r->tmp_.c_str());
        r->dropped_ = true;
    }
}

// In a forked child, with the lock held since before the fork.
void forget_parent_replacements() {
    UnderWay &u = *under_way_now;
    for (FileReplacement *r : u.all) r->dropped_ = true;
    u.all.clear();
    u.exiting = false;
    u.mu.unlock();
}

int FileReplacement::begin() {
    if (way_ == ReplaceWay::in_place && ftruncate(target_fd_, 0) != 0) return errno;
    return 0;
}

int FileReplacement::write(const void *data, std::size_t n, const ShouldStop &stop) {
    const char *p = static_cast<const char *>(data);
    std::size_t moved;
    return transfer_all(n, false, [&](std::size_t done) { return ::write(fd(), p + done, n - done); }, &moved, stop);
}

// Writes the temporary file's data back in pieces of 8 MB, a few pieces ahead of the one waited
// for, asking `stop` between them: a sync of gigabytes takes long on a slow disk. The fsync that
// follows then has only the metadata left. Where the system has no such ranged sync, fsync does
// it all. Returns false once `stop` said yes.
bool FileReplacement::sync_in_pieces(const ShouldStop &stop) {
    struct stat st;
    if (fstat(tmp_fd_, &st) != 0) return true;  // fsync reports what is wrong
    constexpr off_t piece = off_t{8} << 20, ahead = 4 * piece;
    auto ranged = [this](off_t from, off_t n, unsigned flags) {
        return retry_interrupted([&] { return sync_file_range(tmp_fd_, from, n, flags); }) == 0;
    };
    StopPoll poll(stop);
    if (!ranged(0, ahead, SYNC_FILE_RANGE_WRITE)) return !poll();
    for (off_t from = 0; from < st.st_size; from += piece) {
        if (poll()) return false;
        if (from + ahead < st.st_size) ranged(from + ahead, piece, SYNC_FILE_RANGE_WRITE);
        if (!ranged(from, piece, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER))
            break;
    }
    return !poll();
}

int FileReplacement::commit(const ShouldStop &stop) {
    int err = 0;
    if (way_ == ReplaceWay::renamed) {
        if (stop && !sync_in_pieces(stop)) err = ECANCELED;
        if (!err && fsync(tmp_fd_) != 0) err = errno;
        // The last moment the old file can still be kept.
        if (!err && stop && stop()) err = ECANCELED;
        if (!err) {
            // Linked or renamed whole before the process may end, or not at all.
            std::lock_guard<std::mutex> lock(under_way().mu);
            if (dropped_) err = ECANCELED;
            // An unnamed file for a new target goes straight under the target's name; a name
            // taken meanwhile is replaced as an existing target is.
            bool linked = false;
            if (!err && tmp_.empty() && new_target_) {
                err = link_unnamed_as(tmp_fd_, final_);
                linked = !err;
                if (err == EEXIST) err = 0;
            }
            if (!err && !linked && tmp_.empty()) err = link_unnamed();
            if (!err) {
                if (close(tmp_fd_) != 0) err = errno;
                tmp_fd_ = -1;
                if (err && linked) unlink(final_.c_str());  // a late write error: no new file after all
            }
            if (!err && !linked && rename(tmp_.c_str(), final_.c_str()) != 0) err = errno;
            if (!err) tmp_.clear();
        }
        if (!err) {
            // The rename itself is made lasting by syncing the folder; a folder that cannot be
            // synced does not undo a replacement that has happened.
            const int dir = open_retrying(folder_of(final_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
            if (dir >= 0) {
                fsync(dir);
                close(dir);
            }
        }
    } else if (target_fd_ >= 0) {
        // Closing reports a write that failed late (a full disk on a network file system).
        if (close(target_fd_) != 0 && errno != EINTR) err = errno;
        target_fd_ = -1;
    }
    abandon();
    return err;
}

void FileReplacement::abandon() {
    drop_temporary();
    if (target_fd_ >= 0) close(target_fd_);
    target_fd_ = -1;
}

// Closes and removes the temporary file (a dropped one is no longer ours to remove) and takes it
// off the list.
void FileReplacement::drop_temporary() {
    if (tmp_fd_ >= 0) close(tmp_fd_);
    tmp_fd_ = -1;
    if (listed_) {
        UnderWay &u = under_way();
        std::lock_guard<std::mutex> lock(u.mu);
        if (!tmp_.empty() && !dropped_) unlink(tmp_.c_str());
        const auto at = std::find(u.all.begin(), u.all.end(), this);
        if (at != u.all.end()) u.all.erase(at);
        listed_ = dropped_ = false;
    }
    tmp_.clear();
}

}  // namespace dcore
