#pragma once

#include <cstddef>
#include <string>

namespace scribeline {

// Opens `path` for reading only when it is a regular file, without ever
// waiting: a FIFO is opened non-blocking and refused, never read (a read
// would wait for a writer without end), as are folders, devices and
// sockets. Returns the open descriptor, which the caller closes, or -1 with
// a short reason in *problem ("No such file or directory", "a FIFO, not a
// regular file", ...). The descriptor is left in blocking mode.
int openRegularFile(const std::string& path, std::string* problem);

// Reads at most `limit` bytes of a descriptor from its current position.
// False, with the reason in *problem, on a read error.
bool readUpTo(int fd, std::size_t limit, std::string* into,
              std::string* problem);

}  // namespace scribeline
