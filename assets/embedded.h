// The picture files carried inside the program, byte for byte as committed in assets/.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quarvel::assets {

struct EmbeddedFile {
  std::string_view name;  // file name in assets/, e.g. "start_ovr.bmp"
  std::span<const std::uint8_t> bytes;
};

// Every embedded file, in a fixed order (generated at build time).
std::span<const EmbeddedFile> embedded_files();

}  // namespace quarvel::assets
