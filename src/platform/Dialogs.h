#pragma once

#include <string_view>

namespace sentrel {

enum class MessageIcon { Information, Warning, Error };

// Message boxes, with the exact text and title the user sees.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A question with Yes and No and the question icon; true for Yes.
    virtual bool ask(std::string_view text, std::string_view title) = 0;
    // A message with an OK button.
    virtual void message(std::string_view text, std::string_view title, MessageIcon icon) = 0;
};

} // namespace sentrel
