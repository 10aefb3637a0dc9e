#pragma once

#include <functional>
#include <string_view>

namespace sentrel {

enum class MessageIcon { Information, Warning, Error };

// Message boxes, with the exact text and title the user sees. Neither call
// waits: the box is open while everything else goes on.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A question with Yes and No and the question icon; `answered` gets true
    // for Yes, once the user has chosen.
    virtual void ask(std::string_view text, std::string_view title, std::function<void(bool)> answered) = 0;
    // A message with an OK button.
    virtual void message(std::string_view text, std::string_view title, MessageIcon icon) = 0;
};

} // namespace sentrel
