#pragma once

#include <exception>
#include <string>

// The failures the program can meet. Each one carries the text users know it by.
enum class ErrorKind {
    InvalidCall,          // "Invalid procedure call or argument"
    Overflow,             // "Overflow"
    SubscriptOutOfRange,  // "Subscript out of range"
    DivisionByZero,       // "Division by zero"
    TypeMismatch,         // "Type mismatch"
    FileNotFound,         // "File not found"
    InputPastEnd,         // "Input past end of file"
    PermissionDenied,     // "Permission denied"
    PathNotFound,         // "Path not found"
    DeviceIoError,        // "Device I/O error"
    OutOfMemory,          // "Out of memory"
};

const char* Error_Kind_Text(ErrorKind kind);

// One error type for every failure: its kind, and where and on what it happened.
class LvError : public std::exception {
  public:
    LvError(ErrorKind kind, std::string context = {});

    ErrorKind kind() const noexcept { return kind_; }
    const std::string& context() const noexcept { return context_; }
    // Kind text, then the context: what users see in the message box or on stderr.
    const char* what() const noexcept override { return message_.c_str(); }

    // The same failure, with `where` (file, line, step ...) put in front of the context.
    LvError within(const std::string& where) const;

    // The step of a model run that failed, when a run's step did (0: none).
    long long step() const noexcept { return step_; }
    LvError atStep(long long step) const {
        LvError e = *this;
        e.step_ = step;
        return e;
    }

  private:
    ErrorKind kind_;
    std::string context_;
    std::string message_;
    long long step_ = 0;
};

// A system call's failure on a file: the kind (from the errno, or given where the caller
// knows better), `what` (the operation and the file), and the system's own reason in
// parentheses.
LvError File_Error(int err, const std::string& what);
LvError File_Error(ErrorKind kind, int err, const std::string& what);

// What a failure says to the user, starting with its kind: an LvError as it is, a failed
// allocation as "Out of memory", anything else by its own text.
std::string Failure_Text(const std::exception& e);

// Any text a message quotes (a value, a line, a path, an option), in double quotes, so that
// it cannot pass for part of the message: control characters and bytes that are no UTF-8
// come out as \xHH, characters that would move or turn the text as \uHHHH, a quote or a
// backslash after a backslash. Shortened to `maxLength` characters ("...").
std::string Quote_For_Message(const std::string& text, std::size_t maxLength = 40);

// A message made by others (the option parser's) that may hold what a user typed: as it is,
// but every control character, byte that is no UTF-8 and character that would move or turn
// the text written out as above, so that nothing reaches a terminal raw.
std::string Escape_For_Terminal(const std::string& text, std::size_t maxLength = 400);
