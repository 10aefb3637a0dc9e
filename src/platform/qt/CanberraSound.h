#pragma once

#include "platform/Sound.h"

struct ca_context;

namespace sentrel {

// Event sounds of the freedesktop sound theme, through libcanberra.
class CanberraSound final : public Sound {
public:
    CanberraSound() = default;
    ~CanberraSound() override;
    CanberraSound(const CanberraSound&) = delete;
    CanberraSound& operator=(const CanberraSound&) = delete;

    void playExclamation() override;

private:
    ca_context* context_ = nullptr;
};

} // namespace sentrel
