#pragma once

#include <cstddef>

namespace sentrel {

// Told of every change to a table's rows, before and after, so a view can
// keep its own picture consistent (the protocol of Qt's item models).
class TableObserver {
public:
    virtual ~TableObserver() = default;
    virtual void beginInsert(std::size_t first, std::size_t count) = 0;
    virtual void endInsert() = 0;
    virtual void beginRemove(std::size_t first, std::size_t count) = 0;
    virtual void endRemove() = 0;
    virtual void rowChanged(std::size_t row) = 0;
    virtual void beginReset() = 0;
    virtual void endReset() = 0;
};

} // namespace sentrel
