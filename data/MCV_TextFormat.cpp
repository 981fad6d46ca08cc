#include "data/MCV_TextFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at s[i] and its code point, or 0 when the
// bytes there are not valid UTF-8 (stray continuation, overlong form,
// surrogate, beyond U+10FFFF, cut short).
size_t utf8Sequence(const std::string& s, size_t i, uint32_t* codePoint) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    size_t n;
    uint32_t cp;
    uint32_t min;
    if (b < 0x80) {
        *codePoint = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        n = 2, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, cp = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    *codePoint = cp;
    return n;
}

}  // namespace

std::string MCV_TextFormat::fixed6(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(value));
    return buf;
}

std::string MCV_TextFormat::jsonNumber(float value) {
    return std::isfinite(value) ? fixed6(value) : std::string("null");
}

std::string MCV_TextFormat::jsonQuoted(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    size_t i = 0;
    while (i < text.size()) {
        uint32_t cp = 0;
        const size_t n = utf8Sequence(text, i, &cp);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        switch (cp) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case 0x2028:
                out += "\\u2028";
                break;
            case 0x2029:
                out += "\\u2029";
                break;
            default:
                if (cp < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
                    out += buf;
                } else {
                    out.append(text, i, n);
                }
        }
        i += n;
    }
    out += '"';
    return out;
}

std::string MCV_TextFormat::scriptEscaped(const std::string& json) {
    std::string out;
    out.reserve(json.size() + json.size() / 4);
    for (char c : json) {
        if (c == '\n') continue;
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

std::string MCV_TextFormat::csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}
