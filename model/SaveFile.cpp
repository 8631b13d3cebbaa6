#include "SaveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "LvError.h"

namespace {

[[noreturn]] void fail(int err, const std::string& path) {
    throw File_Error(err, "writing " + Quote_For_Message(path, 200));
}

void writeStraight(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) fail(errno, path);
    const int err = Write_All(fd, bytes);
    if (::close(fd) != 0 && err == 0 && errno != EINTR) fail(errno, path);
    if (err) fail(err, path);
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

void Save_File(const std::string& path, std::string_view bytes) {
    std::string target = path;
    struct stat st {};
    // A link stays a link: the file it leads to is the one replaced.
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) fail(EISDIR, path);
    // A device or a pipe cannot be replaced and is never left half a file.
    if (exists && !S_ISREG(st.st_mode)) return writeStraight(target, bytes);

    static std::atomic<unsigned> counter{0};
    const std::string folder = folderOf(target);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = folder + "/.lv-save-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter.fetch_add(1)) + ".tmp";
        // 0666 less the umask: the permissions any new file of the user's gets.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100)) fail(errno, path);
    }
    int err = Write_All(fd, bytes);
    if (!err && ::fsync(fd) != 0) err = errno;
    if (!err && exists) (void)::fchmod(fd, st.st_mode & 07777);  // the old file's permissions
    if (::close(fd) != 0 && !err && errno != EINTR) err = errno;
    if (!err && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(temp.c_str());
        fail(err, path);
    }
}
