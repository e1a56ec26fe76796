#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/status.h"

namespace scribeline {

// Opens `path` for reading only when it is a regular file, without ever
// waiting: a FIFO is opened non-blocking and refused, never read (a read
// would wait for a writer without end), as are folders, devices and
// sockets. Returns the open descriptor, which the caller closes, or the
// reason ("No such file or directory", "a FIFO, not a regular file", ...).
// The descriptor is left in blocking mode.
//
// With Links::kRefuse a symbolic link at path is refused ("a symbolic link,
// not a regular file") instead of followed: for files only this program
// writes, which are never links.
enum class Links { kFollow, kRefuse };
Result<int> openRegularFile(const std::string& path,
                            Links links = Links::kFollow);

// Reads at most `limit` bytes of a descriptor from its current position, or
// gives the reason of a read error.
Result<std::string> readUpTo(int fd, std::size_t limit);

// FNV-1a of the text, 64 bits: stable across runs and builds, for names of
// files that stand for a path.
uint64_t pathHash(const std::string& text);

// Creates the folder and its missing parents, private to the user (mode
// 0700). Whether the folder is there afterwards.
bool makeFolders(const std::string& folder);

}  // namespace scribeline
