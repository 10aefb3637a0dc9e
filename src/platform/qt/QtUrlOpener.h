#pragma once

#include "platform/UrlOpener.h"

namespace sentrel {

class QtUrlOpener final : public UrlOpener {
public:
    void openUrl(std::string_view url) override;
};

} // namespace sentrel
