#include "base/Utf8.h"

namespace sentrel {

namespace {
// Length of the valid sequence starting at text[i], or 0.
std::size_t SequenceAt(std::string_view text, std::size_t i, char32_t& out)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    char32_t value;
    char32_t minimum;
    if (lead < 0x80) {
        out = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    out = value;
    return length;
}
} // namespace

std::size_t Utf8Length(std::string_view text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        char32_t ignored;
        const std::size_t length = SequenceAt(text, i, ignored);
        i += length ? length : 1;
    }
    return count;
}

std::u32string DecodeUtf8Lossless(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c;
        const std::size_t length = SequenceAt(text, i, c);
        if (length == 0) {
            out.push_back(0xDC80 + static_cast<unsigned char>(text[i]) - 0x80);
            ++i;
        } else {
            out.push_back(c);
            i += length;
        }
    }
    return out;
}

namespace {
bool IsControl(char32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

void AppendEscape(std::string& out, const char* prefix, char32_t c, int digits)
{
    constexpr char kHex[] = "0123456789abcdef";
    out += prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += kHex[(c >> shift) & 0xF];
}
} // namespace

void AppendEscapingControls(std::string& out, std::string_view text)
{
    // Most texts have none: a quick scan for the bytes that may start one.
    bool suspect = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || byte == 0xC2 || byte == 0xE2) {
            suspect = true;
            break;
        }
    }
    if (!suspect) {
        out.append(text);
        return;
    }
    for (std::size_t i = 0; i < text.size();) {
        char32_t c;
        const std::size_t length = SequenceAt(text, i, c);
        if (length == 0) {
            out += text[i]; // not UTF-8: left as it is, it breaks no line
            ++i;
            continue;
        }
        if (!IsControl(c))
            out.append(text.substr(i, length));
        else if (c < 0x80)
            AppendEscape(out, "\\x", c, 2);
        else
            AppendEscape(out, "\\u", c, 4);
        i += length;
    }
}

std::string EscapeControlCharacters(std::string_view text)
{
    std::string out;
    AppendEscapingControls(out, text);
    return out;
}

} // namespace sentrel
