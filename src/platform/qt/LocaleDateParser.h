#pragma once

#include "platform/Clock.h"

#include <QLocale>

#include <optional>
#include <string_view>

namespace sentrel {

// A date in the locale's short format, as the system once wrote it. A
// two-digit year before 1970 is taken as 20yy.
std::optional<LocalDateTime> ParseShortDate(std::string_view text, const QLocale& locale = QLocale::system());

} // namespace sentrel
