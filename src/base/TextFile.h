#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// Data files beyond this size are refused rather than read.
inline constexpr std::size_t kMaxDataFileBytes = std::size_t(16) << 20;

// The lines of a text, without their ends. CR LF, LF and a lone CR each
// end a line; a last line needs no end.
std::vector<std::string> SplitLines(std::string_view text);

// The lines of a data file. nullopt when the file is missing, cannot be
// read, or is refused: not a regular file (a pipe would block, a device
// never end) or larger than kMaxDataFileBytes. Unless the file is simply
// missing, `error` then receives the reason.
std::optional<std::vector<std::string>> ReadTextLines(const std::string& path, std::string* error = nullptr);

// The system's description of a failure, or nothing on success.
using WriteError = std::optional<std::string>;

// Replaces the file with the content: a temporary file in the same
// directory is written, flushed and renamed over it, so a crash or a full
// disk leaves either the old file or the new one, never part of either.
WriteError WriteFileAtomically(const std::string& path, std::string_view content);

// Writes all of the data, retrying after interruptions.
bool WriteAll(int fd, std::string_view data);

std::string TrimSpaces(std::string_view text);
std::string SystemErrorText(int error);

} // namespace sentrel
