// Replacing a whole file the way open(path, "w") sees the path, without ever harming what is there:
//
//   - a regular file with one link, in a folder that takes a new file: the new content goes to a
//     temporary file beside it, which gets the file's mode (and owner) and, once synced, is renamed
//     over it. A failed or stopped write leaves the old file as it was and no temporary file
//     behind. Where the file system offers unnamed files (O_TMPFILE) the temporary file has no
//     name until it is complete, so a process killed outright (SIGKILL, SIGTERM's default action,
//     _exit) while writing leaves nothing behind either. What a kill can leave once it is complete:
//       - a new target (no file of that name when it was opened): nothing. The unnamed file is
//         linked straight under the target's name, in one system call. Should a file have taken
//         the name meanwhile, the link fails and that file is replaced as an existing target is;
//       - an existing target: a link cannot replace a file, so the unnamed file is linked in under
//         a temporary name `.dorar-XXXXXX` beside the target, closed, and renamed over it. A
//         process killed between the link and the rename (three system calls: link, close,
//         rename) leaves that name, holding the complete, synced new content, beside the target as
//         it was;
//       - without unnamed files, the temporary file has its `.dorar-XXXXXX` name from its making
//         to the rename, over the whole write: a process killed outright at any moment in between
//         leaves it, holding whatever part of the new content was written. An exit that runs its
//         handlers, or an interpreter that finalizes, drops it (below); a kill cannot;
//   - a symbolic link: the file it finally points to is the one replaced; the link stays;
//   - a file with several links, or one its folder does not let us replace (no new file there, a
//     sticky folder and someone else's file, an owner we cannot give a new file): written in place,
//     emptied only when the first byte is about to be written;
//   - anything that is not a regular file (a FIFO, a device): opened and written, never replaced;
//   - a path open() could not write fails with the errno open() fails with.
//
// Opening a FIFO waits for its reader and writing to one waits for the reader to take the bytes;
// a signal that interrupts either wait asks the `stop` given (see retry_interrupted), so that
// Ctrl-C ends it. A temporary file that has a name is dropped when the process exits while it is
// being written (a thread still writing at the interpreter's end), and is never renamed after.
//
// Every call returns 0 or an errno. No Python here; everything may run without the GIL.
#pragma once

#include <cstddef>
#include <string>

#include "stop_check.hpp"

struct stat;

namespace dcore {

enum class ReplaceWay {
    renamed,   // a temporary file renamed over the target
    in_place,  // the regular file itself, emptied by begin()
    direct,    // a FIFO or device, written as it is
};

class FileReplacement {
public:
    FileReplacement() = default;
    ~FileReplacement() { abandon(); }
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    // Opens `path` for writing. Nothing is truncated yet. On failure nothing is left open or made.
    // ECANCELED once `stop`, asked when a signal interrupts the wait for a FIFO's reader, says yes.
    int open(const std::string &path, const ShouldStop &stop = {});
    ReplaceWay way() const { return way_; }
    // The descriptor the new content is written to (at offset 0 after begin()).
    int fd() const { return way_ == ReplaceWay::renamed ? tmp_fd_ : target_fd_; }
    // Whether the temporary file of a replacement has no name in the folder while it is written.
    bool unnamed_temporary() const { return way_ == ReplaceWay::renamed && tmp_.empty(); }
    // Empties a file written in place; call once, right before the first byte is written.
    int begin();
    // Writes all `n` bytes at the current position; `stop` is asked whenever a signal interrupts
    // the write (ECANCELED once it says yes).
    int write(const void *data, std::size_t n, const ShouldStop &stop = {});
    // Makes the new content the file's: syncs and renames the temporary file, or closes the file.
    // On failure the temporary file is removed and the old file stays. With `stop`, the sync of a
    // temporary file runs in pieces and `stop` is asked between them (from this thread) and once
    // more right before the rename; once it says yes, the replacement is abandoned as on a
    // failure and ECANCELED is returned.
    int commit(const ShouldStop &stop = {});
    // Gives up: removes the temporary file and closes everything. The old file stays.
    void abandon();

private:
    int open_target(const std::string &path, int flags, struct stat *st, const ShouldStop &stop);
    int open_as_open_does(const std::string &path, const ShouldStop &stop);
    int make_temporary(const std::string &folder, unsigned mode);
    bool make_unnamed(const std::string &folder, unsigned mode);
    int link_unnamed();
    bool sync_in_pieces(const ShouldStop &stop);
    void drop_temporary();
    friend void drop_temporaries_at_exit();
    friend void forget_parent_replacements();
    std::string final_, tmp_;  // tmp_ empty while the temporary file has no name
    int target_fd_ = -1, tmp_fd_ = -1;
    ReplaceWay way_ = ReplaceWay::direct;
    bool new_target_ = false;  // no file had the target's name when it was opened
    // Among the replacements under way (a temporary file that will be renamed), and whether the
    // exit dropped it. Both, and tmp_ from then on, change under the list's lock.
    bool listed_ = false, dropped_ = false;
};

// Drops the temporary file of every replacement under way: a named one is removed, and none is
// renamed over its target any more; replacements begun later fail (ECANCELED). Runs by itself
// when the process exits, from the thread that ends it; an interpreter calls it as it finalizes
// (include/dorar/replaced_file.hpp), since one that ends on Ctrl-C ends by the signal, and exit
// handlers never run.
void drop_temporaries_at_exit();

// The child's side of a fork: the list of replacements under way starts empty (see file_replace.cpp).
void forget_parent_replacements();

// The name of the file that `path` finally points to when its symbolic links are followed (the
// path itself when it is no link). The file need not exist. Returns 0 or an errno (ELOOP).
int final_name(const std::string &path, std::string *out);

}  // namespace dcore
