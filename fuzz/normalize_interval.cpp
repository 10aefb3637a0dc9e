// A typed interval always becomes a whole number from 1 to the bound, and
// stays as it is when typed again. The first byte picks the bound.
#include "Check.h"
#include "projects/EditorRules.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int bounds[] = { sentrel::kMinuteIntervalBound, sentrel::kHourIntervalBound, 1, 32767 };
    const int bound = bounds[data[0] % 4];
    const std::string interval
        = sentrel::NormalizeInterval(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), bound);
    FUZZ_CHECK(!interval.empty() && interval.size() <= 5);
    FUZZ_CHECK(interval.find_first_not_of("0123456789") == std::string::npos && interval[0] != '0');
    const int value = std::stoi(interval);
    FUZZ_CHECK(value >= 1 && value <= bound);
    FUZZ_CHECK(sentrel::NormalizeInterval(interval, bound) == interval);
    return 0;
}
