#include "LvError.h"

#include <cerrno>
#include <cstring>

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
    return LvError(kind_, context_.empty() ? where : where + ", " + context_);
}

LvError File_Error(int err, const std::string& what) {
    ErrorKind kind = ErrorKind::DeviceIoError;  // EIO, a full disk or quota, and the rest
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            kind = ErrorKind::PermissionDenied;
            break;
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            kind = ErrorKind::PathNotFound;
            break;
        case ENOMEM:
            kind = ErrorKind::OutOfMemory;
            break;
    }
    char buf[256];
    const char* reason = strerror_r(err, buf, sizeof buf);  // GNU: may return its own text
    return LvError(kind, what + " (" + reason + ")");
}

std::string Quote_For_Message(const std::string& text, std::size_t maxLength) {
    std::string out = "\"";
    std::size_t shown = 0;
    for (unsigned char c : text) {
        if (shown == maxLength) {
            out += "...";
            break;
        }
        if (c < 0x20 || c >= 0x7F) {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
        ++shown;
    }
    return out + "\"";
}
