#include "TextFile.h"

#include <filesystem>
#include <system_error>

#include "LvError.h"

namespace {
constexpr int Eof = std::char_traits<char>::eof();
}

TextFile::TextFile(const std::string& path) : path_(path) {
    // A directory opens on this platform but reads as nothing; it is no file to read.
    std::error_code ec;
    const bool isDirectory = std::filesystem::is_directory(path, ec);
    if (path.empty() || isDirectory ||
        buf_.open(path, std::ios::in | std::ios::binary) == nullptr) {
        throw LvError(ErrorKind::FileNotFound, "cannot open " + Quote_For_Message(path, 200) +
                                                   " for reading" +
                                                   (isDirectory ? " (it is a directory)" : ""));
    }
}

void TextFile::pastEnd() const {
    throw LvError(ErrorKind::InputPastEnd, path_ + ", line " + std::to_string(line_ + 1) +
                                               ": the file ends after line " +
                                               std::to_string(line_));
}

void TextFile::endOfLine(int c) {
    // "\r\n" is one break; a lone "\r" is a break of its own.
    if (c == '\r' && buf_.sgetc() == '\n') buf_.sbumpc();
    ++line_;
}

void TextFile::Skip_Line() {
    if (buf_.sgetc() == Eof) pastEnd();
    int c;
    while ((c = buf_.sbumpc()) != Eof && c != '\n' && c != '\r') {
    }
    endOfLine(c);
}

std::string TextFile::Read_Line() {
    if (buf_.sgetc() == Eof) pastEnd();
    std::string text;
    int c;
    while ((c = buf_.sbumpc()) != Eof && c != '\n' && c != '\r')
        text.push_back(static_cast<char>(c));
    endOfLine(c);
    return text;
}
