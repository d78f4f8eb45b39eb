#include "files.h"

#include <fstream>
#include <sstream>

namespace quarvel::testing {

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();  // a folder or a missing file reads as nothing
  return text.str();
}

std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path) {
  const std::string text = read_file(path);
  return {text.begin(), text.end()};
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  write_file(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace quarvel::testing
