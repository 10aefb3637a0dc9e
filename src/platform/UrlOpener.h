#pragma once

#include <string_view>

namespace sentrel {

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // In the user's browser; a failure is silent.
    virtual void openUrl(std::string_view url) = 0;
};

} // namespace sentrel
