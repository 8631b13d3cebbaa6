#include "LvError.h"

#include <cerrno>
#include <cstring>
#include <new>

const char* Error_Kind_Text(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::InvalidCall:
            return "Invalid procedure call or argument";
        case ErrorKind::Overflow:
            return "Overflow";
        case ErrorKind::SubscriptOutOfRange:
            return "Subscript out of range";
        case ErrorKind::DivisionByZero:
            return "Division by zero";
        case ErrorKind::TypeMismatch:
            return "Type mismatch";
        case ErrorKind::FileNotFound:
            return "File not found";
        case ErrorKind::InputPastEnd:
            return "Input past end of file";
        case ErrorKind::PermissionDenied:
            return "Permission denied";
        case ErrorKind::PathNotFound:
            return "Path not found";
        case ErrorKind::DeviceIoError:
            return "Device I/O error";
        case ErrorKind::OutOfMemory:
            return "Out of memory";
    }
    return "Unknown error";
}

LvError::LvError(ErrorKind kind, std::string context)
    : kind_(kind), context_(std::move(context)), message_(Error_Kind_Text(kind)) {
    if (!context_.empty()) message_ += ": " + context_;
}

LvError LvError::within(const std::string& where) const {
    return LvError(kind_, context_.empty() ? where : where + ", " + context_).atStep(step_);
}

namespace {
// The kind users know a system call's failure on a file by.
ErrorKind fileErrorKind(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return ErrorKind::PermissionDenied;
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return ErrorKind::PathNotFound;
        case ENOMEM:
            return ErrorKind::OutOfMemory;
    }
    return ErrorKind::DeviceIoError;  // EIO, a full disk or quota, and the rest
}
}  // namespace

std::string Failure_Text(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return LvError(ErrorKind::OutOfMemory, "the run needed more memory than the system gave")
            .what();
    return e.what();
}

LvError File_Error(ErrorKind kind, int err, const std::string& what) {
    char buf[256];
    const char* reason = strerror_r(err, buf, sizeof buf);  // GNU: may return its own text
    return LvError(kind, what + " (" + reason + ")");
}

LvError File_Error(int err, const std::string& what) {
    return File_Error(fileErrorKind(err), err, what);
}

namespace {

// Length of the UTF-8 sequence at text[i] and its code point; 0 when the bytes there are no
// well-formed sequence (a stray byte, an overlong form, a surrogate, beyond U+10FFFF).
std::size_t utf8At(const std::string& text, std::size_t i, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t len;
    char32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Characters that move the cursor, end a line or turn the direction of the text on a
// terminal or in a message box: C1 controls, the line and paragraph separators, and the
// bidirectional marks, embeddings, overrides and isolates.
bool movesTheText(char32_t cp) {
    return (cp >= 0x80 && cp <= 0x9F) || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

void hex(std::string& out, unsigned value, int digits) {
    static const char digit[] = "0123456789ABCDEF";
    for (int d = digits - 1; d >= 0; --d) out += digit[(value >> (4 * d)) & 15];
}

}  // namespace

namespace {

// The text with every character that could act on a terminal, move or turn the text, or
// that is no character at all, written out in escapes; with `quotes`, the quote and the
// backslash are escaped too. At most `maxLength` characters, then "...".
std::string escaped(const std::string& text, std::size_t maxLength, bool quotes) {
    std::string out;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size(); ++shown) {
        if (shown == maxLength) {
            out += "...";
            break;
        }
        char32_t cp = 0;
        const std::size_t len = utf8At(text, i, cp);
        if (len == 0 || cp < 0x20 || cp == 0x7F) {
            out += "\\x";  // a control character, or a byte that is no character
            hex(out, static_cast<unsigned char>(text[i]), 2);
            i += 1;
            continue;
        }
        if (quotes && (cp == '"' || cp == '\\')) {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (movesTheText(cp)) {
            out += "\\u";
            hex(out, unsigned(cp), 4);
        } else {
            out.append(text, i, len);
        }
        i += len;
    }
    return out;
}

}  // namespace

std::string Quote_For_Message(const std::string& text, std::size_t maxLength) {
    return "\"" + escaped(text, maxLength, true) + "\"";
}

std::string Escape_For_Terminal(const std::string& text, std::size_t maxLength) {
    return escaped(text, maxLength, false);
}
