// Whole files read and written in one call, for tests that stage folders and
// read back what programs recorded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel::testing {

// The whole of a file; empty where it cannot be read.
std::string read_file(const std::filesystem::path& path);
std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path);

// Makes `path` hold exactly `bytes`, creating its folder where missing.
void write_file(const std::filesystem::path& path, std::string_view bytes);
void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

}  // namespace quarvel::testing
