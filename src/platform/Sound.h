#pragma once

namespace sentrel {

class Sound {
public:
    virtual ~Sound() = default;
    // The desktop's warning sound, asynchronously; silent when there is no
    // sound device or theme.
    virtual void playExclamation() = 0;
};

} // namespace sentrel
