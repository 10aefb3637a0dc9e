#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// The lines of a text file, CR LF or LF ended, without their ends.
// nullopt when the file cannot be opened or read.
std::optional<std::vector<std::string>> ReadTextLines(const std::string& path);

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
