#pragma once

#include <string>
#include <string_view>

namespace sentrel {

// Lower case of a UTF-8 text by the current LC_CTYPE; bytes that are not
// UTF-8 stay distinct.
void FoldCase(std::string_view text, std::u32string& out);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool ContainsIgnoringCase(std::string_view text, std::string_view part);
// Negative, zero or positive, like strcmp, on the folded texts.
int CompareIgnoringCase(std::string_view a, std::string_view b);

} // namespace sentrel
