// quarvel_cuegen <dir>: writes the launcher's five demo cues into <dir>
// (created if missing), replacing any there.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "tools/cuegen/cue_tones.h"

namespace {

bool write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quarvel::cuegen;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <dir>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "quarvel_cuegen: cannot create %s: %s\n", dir.c_str(),
                 ec.message().c_str());
    return 1;
  }
  for (const CueTone& cue : kCueTones) {
    const std::filesystem::path path = dir / std::string(cue.file);
    if (!write_file(path, wav_image(synthesise(cue.file), kCueRate))) {
      std::fprintf(stderr, "quarvel_cuegen: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
