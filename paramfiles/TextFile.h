#pragma once

#include <cstddef>
#include <memory>
#include <string>

inline constexpr std::size_t MaxLineLength = 32767;  // string lengths and positions are 16-bit

// A parameter file opened for reading as single-byte text: every byte is one character.
// The readers skip line 1 and then take one line at a time. "\r\n", "\n" and a lone "\r"
// each end a line and never reach its text; a last line without a break is still a line.
// Lines are read only when asked for, so whatever follows the last needed line is never read,
// and no line is read past its 32,767th character: an endless or huge file costs no more
// than that. Every failure names the file; those met while reading also name the line.
class TextFile {
  public:
    // Opens the file for reading: "File not found" when its folder has no such file, "Path
    // not found" when a folder on the path is missing, "Permission denied" for a file that
    // may not be read or a folder. A pipe or a device is read as it comes (opening a named
    // pipe waits for its writer).
    explicit TextFile(const std::string& path);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // Line 1 is skipped unread; "Input past end of file" when the file is empty.
    void Skip_Line();
    // The next line without its break; "Input past end of file" when there is none.
    // A line of more than 32,767 characters is an overflow, found at its 32,768th.
    // A failing read is a "Device I/O error" (or the kind its reason names).
    std::string Read_Line();

    // Number (from 1) of the line skipped or read last.
    int Line_Number() const { return line_; }
    const std::string& Path() const { return path_; }
    // The path as messages show it: quoted, with control characters escaped; /dev/stdin as
    // "standard input".
    std::string Shown_Path() const;

  private:
    int peek();
    int next();
    void fill();
    void endOfLine(int c);
    void takeLine(std::string* text);
    [[noreturn]] void pastEnd() const;

    std::string path_;
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
    std::size_t at_ = 0, end_ = 0;
    bool atEnd_ = false;
    int line_ = 0;
};
