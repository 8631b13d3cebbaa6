#include "TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "LvError.h"

namespace {

constexpr int Eof = -1;
constexpr std::size_t BufferSize = 65536;

// A missing file in a folder that exists is "File not found"; a missing folder on the way
// there is "Path not found".
bool folderExists(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    return std::filesystem::is_directory(folder, ec);
}

}  // namespace

TextFile::TextFile(const std::string& path) : path_(path), buffer_(new char[BufferSize]) {
    const std::string what = "reading " + Shown_Path();
    do {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        const int err = errno;
        if (err == ENOENT && folderExists(path))
            throw File_Error(ErrorKind::FileNotFound, err, what);
        throw File_Error(err, what);
    }
    // A folder opens here but is no file to read.
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        throw File_Error(EISDIR, what);
    }
}

TextFile::~TextFile() {
    ::close(fd_);
}

std::string TextFile::Shown_Path() const {
    // The runners read FILE "-" through this name: said as what it is.
    if (path_ == "/dev/stdin") return "standard input";
    return Quote_For_Message(path_, 200);
}

void TextFile::fill() {
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_.get(), BufferSize);
        if (got >= 0) {
            at_ = 0;
            end_ = std::size_t(got);
            atEnd_ = got == 0;
            return;
        }
        if (errno != EINTR)
            throw File_Error(errno,
                             "reading " + Shown_Path() + ", line " + std::to_string(line_ + 1));
    }
}

int TextFile::peek() {
    if (at_ == end_ && !atEnd_) fill();
    return at_ == end_ ? Eof : static_cast<unsigned char>(buffer_[at_]);
}

int TextFile::next() {
    const int c = peek();
    if (c != Eof) ++at_;
    return c;
}

void TextFile::pastEnd() const {
    throw LvError(ErrorKind::InputPastEnd, Shown_Path() + ", line " + std::to_string(line_ + 1) +
                                               ": the file ends after line " +
                                               std::to_string(line_));
}

void TextFile::endOfLine(int c) {
    // "\r\n" is one break; a lone "\r" is a break of its own.
    if (c == '\r' && peek() == '\n') next();
    ++line_;
}

void TextFile::takeLine(std::string* text) {
    if (peek() == Eof) pastEnd();
    std::size_t length = 0;
    for (;;) {
        const int c = next();
        if (c == Eof || c == '\n' || c == '\r') return endOfLine(c);
        // Lengths are 16-bit: the line fails here, and the rest of it is never read.
        if (++length > MaxLineLength)
            throw LvError(ErrorKind::Overflow, Shown_Path() + ", line " +
                                                   std::to_string(line_ + 1) +
                                                   ": the line is longer than 32767 characters");
        if (text) text->push_back(static_cast<char>(c));
    }
}

void TextFile::Skip_Line() {
    takeLine(nullptr);
}

std::string TextFile::Read_Line() {
    std::string text;
    takeLine(&text);
    return text;
}
