#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

// A file written whole or not at all: into a new file beside the target, flushed to the disk
// by Commit, then renamed over it. A full disk, a killed program or a failed write leaves the
// file that was there as it was, and no stray file behind (an object dropped without Commit
// takes its new file away). The name is used byte for byte, whatever its encoding. A link is
// followed (the file it names is replaced); a device or a pipe is written straight into.
// Every failure throws LvError (File_Error) naming the file.
class SaveFile {
  public:
    // Opens the new file, so that a name that cannot be written fails before any work.
    explicit SaveFile(const std::string& path);
    ~SaveFile();
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;

    void Write(std::string_view bytes);
    void Commit();

  private:
    void flush();
    [[noreturn]] void fail(int err);

    std::string path_;    // as given, for messages
    std::string target_;  // the file replaced (a link's target)
    std::string temp_;    // the new file beside it; empty when writing straight in
    std::string buffer_;
    int fd_ = -1;
    bool keepMode_ = false;
    mode_t mode_ = 0;
};

// Writes `bytes` as the whole of the file named `path`, through SaveFile.
void Save_File(const std::string& path, std::string_view bytes);

// Writes all of `bytes` to the open file `fd`, through interruptions and short writes.
// Returns 0, or the errno of the write that failed.
int Write_All(int fd, std::string_view bytes);
