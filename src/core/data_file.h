// Files the program keeps (settings, dictionaries, result history, exported results). Only a
// regular file is ever read or replaced: anything else put in its place (a FIFO above all) is
// an error at once, never a read or write that blocks.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace tarn {

// The whole of a regular file. nullopt when it cannot be read; ec is then
// std::errc::no_such_file_or_directory for an absent file and std::errc::invalid_argument for
// one that is not a regular file.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::error_code& ec);

// True when the path (a symbolic link followed) names a regular file or nothing at all.
bool IsRegularOrAbsent(const std::filesystem::path& path);

}  // namespace tarn
