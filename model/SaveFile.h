#pragma once

#include <string>
#include <string_view>

// Writes `bytes` to the file named `path`, whole or not at all: into a new file beside it,
// flushed to the disk, then renamed over it. A full disk, a killed program or a failed write
// leaves the file that was there as it was, and no stray file behind. The name is used byte
// for byte, whatever its encoding. A link is followed (the file it names is replaced); a
// device or a pipe is written straight into. Throws LvError (File_Error) naming the file.
void Save_File(const std::string& path, std::string_view bytes);

// Writes all of `bytes` to the open file `fd`, through interruptions and short writes.
// Returns 0, or the errno of the write that failed.
int Write_All(int fd, std::string_view bytes);
