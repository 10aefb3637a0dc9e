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

} // namespace sentrel
