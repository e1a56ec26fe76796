#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "files/status.h"

namespace scribeline {

// Every file the program writes (masks, their backups, autosaves, the files
// of an export) is first written to a temporary file in its destination's
// folder and then renamed into place, so that the destination holds either
// its old or its new contents, never a mix.
//
// IMPORTANT: temporaries are named kTemporaryPrefix followed by six letters
// or digits (".scribeline-tmp-a8Zq0X") and by nothing else, so that a start
// can tell the leftovers of a write cut short (a kill, a power cut) from
// everything else in a folder (isTemporaryName). A temporary is created
// exclusively (never through a symbolic link, never over an existing file)
// and stays locked (flock) while it is written, so that no cleanup removes
// it from under a writer that is still alive.
inline constexpr char kTemporaryPrefix[] = ".scribeline-tmp-";

// Whether a file name is one a temporary of this program gets.
bool isTemporaryName(const std::string& name);

// An open temporary file, created and locked (see above); the caller writes
// it and either renames or removes it.
struct TemporaryFile {
  int fd = -1;
  std::string path;
};

// Creates a temporary in `folder`, private to the user until the caller
// sets its permission bits.
Result<TemporaryFile> createTemporary(const std::string& folder);

// A free temporary name in `folder`, for a second name given to an existing
// file (link(2), which never follows or replaces what is there): the name
// was free a moment ago, and link fails if it is not any more.
Result<std::string> freeTemporaryName(const std::string& folder);

// Gives the file at `path` the second name `name` (in the same file system),
// replacing what `name` held in one rename: a hard link made under a
// temporary name, renamed over `name`. Leaves no temporary behind, also
// when `name` already is a name of the same file (which rename leaves as it
// is). Fails where the file system has no hard links; `name` is then as it
// was.
Status linkAtomically(const std::string& path, const std::string& name);

// Makes the file at `path` from bytes through a temporary in its folder,
// written, flushed to the disk and renamed over `path`, then syncs the
// folder. The new file gets the permission bits of `replaced` when given,
// else those an ordinary new file would get. On failure `path` is left as
// it was, the temporary is removed, and the Status says why.
Status replaceAtomically(const std::string& path, const void* data,
                         std::size_t size, const struct stat* replaced);

// replaceAtomically for a file only this program writes (an autosave): the
// file at `path` is replaced only when it is absent or a regular file; a
// symbolic link, a folder, a FIFO or any other kind of file there is
// refused ("PATH is a symbolic link, not a file of this program") and left
// as it is. The new file gets the permission bits of the one it replaces,
// or those of an ordinary new file.
Status replaceOwnFile(const std::string& path, const void* data,
                      std::size_t size);

// What an entry of a folder is, for messages: "a symbolic link", "a
// folder", "a FIFO", "a device", "a socket", "a special file", or "a
// regular file".
std::string kindOfFile(mode_t mode);

// When this process started (the static initialisation of the program),
// the age a leftover temporary must exceed.
std::chrono::system_clock::time_point programStartTime();

// Removes from `folder` the temporaries that writes cut short left there:
// regular files named as temporaries (isTemporaryName), last modified before
// `before`, that no writer holds locked. Nothing else is touched. Returns
// the paths removed.
std::vector<std::string> removeStaleTemporaries(
    const std::string& folder,
    std::chrono::system_clock::time_point before = programStartTime());

}  // namespace scribeline
