#pragma once

namespace sentrel {

// Starting the program, hidden, with the user's session.
class Autostart {
public:
    virtual ~Autostart() = default;
    virtual void AddRunEntry() = 0;
    // A missing entry is not an error.
    virtual void RemoveRunEntry() = 0;
};

} // namespace sentrel
