// A typed time of day always becomes a valid "HH:MM", and stays as it is
// when typed again.
#include "Check.h"
#include "projects/EditorRules.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string time = sentrel::NormalizeTime(std::string_view(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(time.size() == 5 && time[2] == ':');
    for (const std::size_t i : { 0, 1, 3, 4 })
        FUZZ_CHECK(time[i] >= '0' && time[i] <= '9');
    FUZZ_CHECK(time.substr(0, 2) <= "23" && time.substr(3) <= "59");
    FUZZ_CHECK(sentrel::NormalizeTime(time) == time);
    return 0;
}
