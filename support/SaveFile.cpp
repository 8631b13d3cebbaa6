#include "SaveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "LvError.h"

namespace {

constexpr std::size_t BufferSize = 1 << 16;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int Write_All(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t done = ::write(fd, bytes.data(), bytes.size());
        if (done < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(std::size_t(done));
    }
    return 0;
}

SaveFile::SaveFile(const std::string& path) : path_(path), target_(path) {
    struct stat st {};
    // A link stays a link: the file it leads to is the one replaced.
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target_ = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) fail(EISDIR);
    // A device or a pipe cannot be replaced and is never left half a file.
    if (exists && !S_ISREG(st.st_mode)) {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) fail(errno);
        return;
    }
    keepMode_ = exists;
    mode_ = st.st_mode & 07777;
    static std::atomic<unsigned> counter{0};
    const std::string folder = folderOf(target_);
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temp_ = folder + "/.lv-save-" + std::to_string(::getpid()) + "-" +
                std::to_string(counter.fetch_add(1)) + ".tmp";
        // 0666 less the umask: the permissions any new file of the user's gets.
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt == 100)) {
            temp_.clear();
            fail(errno);
        }
    }
}

SaveFile::~SaveFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void SaveFile::fail(int err) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    throw File_Error(err, "writing " + Quote_For_Message(path_, 200));
}

void SaveFile::flush() {
    if (const int err = Write_All(fd_, buffer_)) fail(err);
    buffer_.clear();
}

void SaveFile::Write(std::string_view bytes) {
    if (fd_ < 0) fail(EBADF);  // after a failure or a commit
    if (buffer_.size() + bytes.size() > BufferSize) {
        flush();
        if (bytes.size() > BufferSize) {
            if (const int err = Write_All(fd_, bytes)) fail(err);
            return;
        }
    }
    buffer_.append(bytes);
}

void SaveFile::Commit() {
    if (fd_ < 0) fail(EBADF);
    flush();
    if (!temp_.empty()) {
        if (::fsync(fd_) != 0) fail(errno);
        if (keepMode_) (void)::fchmod(fd_, mode_);  // the old file's permissions
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) fail(errno);
    if (!temp_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
    temp_.clear();
}

void Save_File(const std::string& path, std::string_view bytes) {
    SaveFile file(path);
    file.Write(bytes);
    file.Commit();
}
