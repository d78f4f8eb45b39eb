// stb_image's PNG decoder, kept to this file: weston's screenshots are PNG.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb_image.h>

#include "weston.h"

namespace quarvel::e2e {

Screenshot read_png(const fs::path& file) {
  int w = 0, h = 0, channels = 0;
  stbi_uc* data = stbi_load(file.c_str(), &w, &h, &channels, 3);
  Screenshot shot;
  if (!data) return shot;
  shot.width = w;
  shot.height = h;
  const std::size_t n = static_cast<std::size_t>(w) * h;
  shot.pixels.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const stbi_uc* p = data + 3 * i;
    shot.pixels.push_back(std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2]);
  }
  stbi_image_free(data);
  return shot;
}

}  // namespace quarvel::e2e
