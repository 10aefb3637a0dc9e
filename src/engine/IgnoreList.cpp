#include "engine/IgnoreList.h"

namespace sentrel {

void IgnoreList::LoadIgnoreList(const std::string&) { }

WriteError IgnoreList::SaveIgnoreList(const std::string&) const
{
    return std::nullopt;
}

bool IgnoreList::Matches(std::string_view) const
{
    return false;
}

} // namespace sentrel
