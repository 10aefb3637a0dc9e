#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// "yyyy-mm-dd hh:mm:ss", the one date-time text of the program.
std::string FormatDateTime(const LocalDateTime& t);
// "yyyy-mm-dd"
std::string FormatDate(const LocalDateTime& t);

// Days since 1970-01-01 of a proleptic Gregorian date.
long DaysFromCivil(int year, int month, int day);
// 1 = Monday .. 7 = Sunday
int DayOfWeek(const LocalDateTime& t);
bool IsValidDate(int year, int month, int day);

// Reads a date and time laid out as `layout` at the start of `text`, with
// 'd' for each digit of "yyyy mm dd hh mm ss" and any other character for
// itself, e.g. "dddd-dd-dd dd:dd:dd".
std::optional<LocalDateTime> ParseDateTimeLike(std::string_view text, std::string_view layout);

// Parses "H:M" or "H:M:S" (one or two digits each) as a time of day.
std::optional<int> ParseSecondsOfDay(std::string_view text);
LocalDateTime WithSecondsOfDay(LocalDateTime date, int secondsOfDay);

// Reads "yyyy-mm-dd hh:mm:ss" exactly.
std::optional<LocalDateTime> ParseDateTime(std::string_view text);
// Local seconds since 1970-01-01 00:00:00, for arithmetic across days.
std::int64_t ToLocalSeconds(const LocalDateTime& t);
LocalDateTime FromLocalSeconds(std::int64_t seconds);

} // namespace sentrel
