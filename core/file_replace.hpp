// Replacing a whole file the way open(path, "w") sees the path, without ever harming what is there:
//
//   - a regular file with one link, in a folder that takes a new file: the new content goes to a
//     temporary file beside it, which gets the file's mode (and owner) and, once synced, is renamed
//     over it. A failed or stopped write leaves the old file as it was and no temporary file
//     behind. Where the file system offers unnamed files (O_TMPFILE) the temporary file has no
//     name until it is complete: it is linked in under a temporary name only to be renamed, so
//     that a process killed outright while writing leaves nothing behind either;
//   - a symbolic link: the file it finally points to is the one replaced; the link stays;
//   - a file with several links, or one its folder does not let us replace (no new file there, a
//     sticky folder and someone else's file, an owner we cannot give a new file): written in place,
//     emptied only when the first byte is about to be written;
//   - anything that is not a regular file (a FIFO, a device): opened and written, never replaced;
//   - a path open() could not write fails with the errno open() fails with.
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
    int open(const std::string &path);
    ReplaceWay way() const { return way_; }
    // The descriptor the new content is written to (at offset 0 after begin()).
    int fd() const { return way_ == ReplaceWay::renamed ? tmp_fd_ : target_fd_; }
    // Whether the temporary file of a replacement has no name in the folder while it is written.
    bool unnamed_temporary() const { return way_ == ReplaceWay::renamed && tmp_.empty(); }
    // Empties a file written in place; call once, right before the first byte is written.
    int begin();
    // Writes all `n` bytes at the current position.
    int write(const void *data, std::size_t n);
    // Makes the new content the file's: syncs and renames the temporary file, or closes the file.
    // On failure the temporary file is removed and the old file stays. With `stop`, the sync of a
    // temporary file runs in pieces and `stop` is asked between them (from this thread) and once
    // more right before the rename; once it says yes, the replacement is abandoned as on a
    // failure and ECANCELED is returned.
    int commit(const ShouldStop &stop = {});
    // Gives up: removes the temporary file and closes everything. The old file stays.
    void abandon();

private:
    int open_target(const std::string &path, int flags, struct stat *st);
    int open_as_open_does(const std::string &path);
    bool make_temporary(const std::string &folder, unsigned mode);
    bool make_unnamed(const std::string &folder, unsigned mode);
    int link_unnamed();
    bool sync_in_pieces(const ShouldStop &stop);
    std::string final_, tmp_;  // tmp_ empty while the temporary file has no name
    int target_fd_ = -1, tmp_fd_ = -1;
    ReplaceWay way_ = ReplaceWay::direct;
};

// The name of the file that `path` finally points to when its symbolic links are followed (the
// path itself when it is no link). The file need not exist. Returns 0 or an errno (ELOOP).
int final_name(const std::string &path, std::string *out);

}  // namespace dcore
