#include "base/CaseFold.h"

#include "base/Utf8.h"

#include <cwctype>

namespace sentrel {

void FoldCase(std::string_view text, std::u32string& out)
{
    out.clear();
    bool ascii = true;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        // Most names; spares a decode.
        for (const char c : text)
            out.push_back(char32_t(std::towlower(wint_t(c))));
        return;
    }
    out = DecodeUtf8Lossless(text);
    for (char32_t& c : out)
        c = char32_t(std::towlower(wint_t(c)));
}

int CompareIgnoringCase(std::string_view a, std::string_view b)
{
    std::u32string foldedA, foldedB;
    FoldCase(a, foldedA);
    FoldCase(b, foldedB);
    return foldedA.compare(foldedB);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return CompareIgnoringCase(a, b) == 0;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part)
{
    std::u32string foldedText, foldedPart;
    FoldCase(text, foldedText);
    FoldCase(part, foldedPart);
    return foldedText.find(foldedPart) != std::u32string::npos;
}

} // namespace sentrel
