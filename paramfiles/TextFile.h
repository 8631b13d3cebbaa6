#pragma once

#include <fstream>
#include <string>

// A parameter file opened for reading as single-byte text: every byte is one character.
// The readers skip line 1 and then take one line at a time. "\r\n", "\n" and a lone "\r"
// each end a line and never reach its text; a last line without a break is still a line.
// Lines are read only when asked for, so whatever follows the last needed line is never read.
class TextFile {
  public:
    // "File not found" when nothing readable has this path (missing, a directory, no rights).
    explicit TextFile(const std::string& path);

    // Line 1 is skipped unread; "Input past end of file" when the file is empty.
    void Skip_Line();
    // The next line without its break; "Input past end of file" when there is none.
    std::string Read_Line();

    // Number (from 1) of the line skipped or read last.
    int Line_Number() const { return line_; }
    const std::string& Path() const { return path_; }

  private:
    void endOfLine(int c);
    [[noreturn]] void pastEnd() const;

    std::string path_;
    std::filebuf buf_;
    int line_ = 0;
};
