#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

// A file written whole or not at all: into a new file beside the target, flushed to the disk
// by Commit, then renamed over it. A full disk, a killed program or a failed write leaves the
// file that was there as it was, and no stray file behind (an object dropped without Commit
// takes its new file away). The name is used byte for byte, whatever its encoding. A link is
// followed, even one whose file is not there yet (the file it names is replaced or made); a
// device or a pipe is written straight into. Every failure throws LvError (File_Error) naming
// the file. A program that ends on a signal takes the new files away with
// Remove_Temporary_Files.
class SaveFile {
  public:
    // Opens the new file, so that a name that cannot be written fails before any work.
    explicit SaveFile(const std::string& path);
    ~SaveFile();
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;

    void Write(std::string_view bytes);
    void Commit();
    // Commits what was written so far under another name (beside the target: an unfinished
    // result kept apart), and returns true; false, with nothing done, for a device or a pipe.
    bool Commit_As(const std::string& path);

    // The file that a commit replaces: where the name leads through its links.
    const std::string& Target() const { return target_; }

  private:
    void flush();
    void commitAs(const std::string& target);
    void dropTemp();
    [[noreturn]] void fail(int err);

    std::string path_;    // as given, for messages
    std::string target_;  // the file replaced (a link's target)
    std::string temp_;    // the new file beside it; empty when writing straight in
    std::string buffer_;
    int fd_ = -1;
    bool keepMode_ = false;
    mode_t mode_ = 0;
    int slot_ = -1;  // where a signal handler finds the new file
};

// Writes `bytes` as the whole of the file named `path`, through SaveFile.
void Save_File(const std::string& path, std::string_view bytes);

// Removes the new file of every SaveFile not yet committed or dropped. Safe in a signal
// handler: it takes no lock and allocates nothing.
void Remove_Temporary_Files() noexcept;

// Writes all of `bytes` to the open file `fd`, through interruptions and short writes.
// Returns 0, or the errno of the write that failed.
int Write_All(int fd, std::string_view bytes);
