#include "base/DateTime.h"

#include <cstdio>

namespace sentrel {

namespace {
void PutDigits(char* at, int value, int count)
{
    for (int i = count - 1; i >= 0; --i, value /= 10)
        at[i] = char('0' + value % 10);
}
} // namespace

std::string FormatDateTime(const LocalDateTime& t)
{
    // By hand: a day's task list formats tens of thousands of these at once.
    const auto twoDigits = [](int v) { return v >= 0 && v <= 99; };
    if (t.year >= 0 && t.year <= 9999 && twoDigits(t.month) && twoDigits(t.day) && twoDigits(t.hour)
        && twoDigits(t.minute) && twoDigits(t.second)) {
        std::string text = "0000-00-00 00:00:00";
        PutDigits(&text[0], t.year, 4);
        PutDigits(&text[5], t.month, 2);
        PutDigits(&text[8], t.day, 2);
        PutDigits(&text[11], t.hour, 2);
        PutDigits(&text[14], t.minute, 2);
        PutDigits(&text[17], t.second, 2);
        return text;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::string FormatDate(const LocalDateTime& t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    return text;
}

long DaysFromCivil(int year, int month, int day)
{
    // Howard Hinnant's days_from_civil.
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int DayOfWeek(const LocalDateTime& t)
{
    // 1970-01-01 was a Thursday (4).
    const long days = DaysFromCivil(t.year, t.month, t.day);
    const long mondayBased = ((days + 3) % 7 + 7) % 7; // 0 = Monday
    return int(mondayBased) + 1;
}

bool IsValidDate(int year, int month, int day)
{
    static constexpr int kDays[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    if (month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::optional<int> ParseSecondsOfDay(std::string_view text)
{
    int parts[3] = { 0, 0, 0 };
    int count = 0;
    int digits = 0;
    for (char c : text) {
        if (c == ':') {
            if (digits == 0 || ++count == 3)
                return std::nullopt;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 2) {
            parts[count] = parts[count] * 10 + (c - '0');
            ++digits;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || count == 0)
        return std::nullopt;
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return std::nullopt;
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

LocalDateTime WithSecondsOfDay(LocalDateTime date, int secondsOfDay)
{
    date.hour = secondsOfDay / 3600;
    date.minute = secondsOfDay / 60 % 60;
    date.second = secondsOfDay % 60;
    return date;
}

std::optional<LocalDateTime> ParseDateTimeLike(std::string_view text, std::string_view layout)
{
    if (text.size() < layout.size())
        return std::nullopt;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (layout[i] == 'd' ? !digit : text[i] != layout[i])
            return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t count) {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    const LocalDateTime t { number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2) };
    if (!IsValidDate(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59 || t.second > 59)
        return std::nullopt;
    return t;
}

std::optional<LocalDateTime> ParseDateTime(std::string_view text)
{
    if (text.size() != 19)
        return std::nullopt;
    return ParseDateTimeLike(text, "dddd-dd-dd dd:dd:dd");
}

std::int64_t ToLocalSeconds(const LocalDateTime& t)
{
    return std::int64_t(DaysFromCivil(t.year, t.month, t.day)) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

LocalDateTime FromLocalSeconds(std::int64_t seconds)
{
    // Howard Hinnant's civil_from_days.
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int year = int(yearOfEra + era * 400 + (month <= 2));
    return { year, month, day, int(rest / 3600), int(rest / 60 % 60), int(rest % 60) };
}

} // namespace sentrel
