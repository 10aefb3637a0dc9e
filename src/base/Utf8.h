#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sentrel {

// Characters in a UTF-8 text; a byte that is not valid UTF-8 counts as one.
std::size_t Utf8Length(std::string_view text);

// Decodes UTF-8; each byte that is not valid UTF-8 becomes U+DC80 + byte,
// so names that are not UTF-8 still compare as themselves.
std::u32string DecodeUtf8Lossless(std::string_view text);

// The text with every control character written out as an escape: C0
// controls and DEL as "\x0a", C1 controls and the two Unicode line and
// paragraph separators as "\u0085". Nothing else changes, so escaping an
// escaped text again changes nothing, and no escaped text can break a line.
std::string EscapeControlCharacters(std::string_view text);
void AppendEscapingControls(std::string& out, std::string_view text);

} // namespace sentrel
