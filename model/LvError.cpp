#include "LvError.h"

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
