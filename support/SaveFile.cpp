#include "SaveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "LvError.h"

namespace {

constexpr std::size_t BufferSize = 1 << 16;

// The temporary files open now, where a signal handler can find them: a fixed table of
// fixed-size names, each slot free, being filled, or holding a name, read without a lock.
enum : int { Free, Filling, Holding };
struct TempSlot {
    std::atomic<int> state{Free};
    char path[PATH_MAX];
};
TempSlot tempSlots[32];

int registerTemp(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < 32; ++i) {
        int expected = Free;
        if (!tempSlots[i].state.compare_exchange_strong(expected, Filling)) continue;
        std::memcpy(tempSlots[i].path, path.c_str(), path.size() + 1);
        tempSlots[i].state.store(Holding, std::memory_order_release);
        return i;
    }
    return -1;  // too many at once: this one is not removed on a signal
}

void unregisterTemp(int slot) {
    if (slot >= 0) tempSlots[slot].state.store(Free, std::memory_order_release);
}

// Where `path` leads through its links, each read as it stands: a dangling link leads to the
// file it names, which is then created. A loop is an error of its own.
std::string followLinks(const std::string& path, int& err) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(at.c_str(), target, sizeof target - 1);
        if (n < 0) {
            err = errno;
            return at;
        }
        const std::string next(target, std::size_t(n));
        const std::size_t slash = at.rfind('/');
        at = next.front() == '/' || slash == std::string::npos ? next
                                                               : at.substr(0, slash + 1) + next;
    }
    err = ELOOP;
    return at;
}

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

SaveFile::SaveFile(const std::string& path) : path_(path) {
    // A link stays a link: the file it leads to, even one not there yet, is the one replaced.
    int linkError = 0;
    target_ = followLinks(path, linkError);
    if (linkError) fail(linkError);
    struct stat st {};
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
    slot_ = registerTemp(temp_);
}

SaveFile::~SaveFile() {
    if (fd_ >= 0) ::close(fd_);
    dropTemp();
}

void SaveFile::dropTemp() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    unregisterTemp(slot_);
    slot_ = -1;
}

void SaveFile::fail(int err) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    dropTemp();
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
    commitAs(target_);
}

bool SaveFile::Commit_As(const std::string& path) {
    if (temp_.empty()) return false;
    commitAs(path);
    return true;
}

void SaveFile::commitAs(const std::string& target) {
    if (fd_ < 0) fail(EBADF);
    flush();
    if (!temp_.empty()) {
        if (::fsync(fd_) != 0) fail(errno);
        if (keepMode_) (void)::fchmod(fd_, mode_);  // the old file's permissions
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) fail(errno);
    if (!temp_.empty() && ::rename(temp_.c_str(), target.c_str()) != 0) fail(errno);
    temp_.clear();
    unregisterTemp(slot_);
    slot_ = -1;
}

void Remove_Temporary_Files() noexcept {
    for (TempSlot& slot : tempSlots)
        if (slot.state.load(std::memory_order_acquire) == Holding) ::unlink(slot.path);
}

void Save_File(const std::string& path, std::string_view bytes) {
    SaveFile file(path);
    file.Write(bytes);
    file.Commit();
}
