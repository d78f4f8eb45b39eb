// Compiled without warnings: stb's own code is not ours to warn about.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include "stb_jpeg.h"

namespace quarvel::artgen {

namespace {

void append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(context);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

std::vector<std::uint8_t> stb_encode_jpeg(const std::uint8_t* rgb, int width, int height,
                                          int quality) {
  std::vector<std::uint8_t> out;
  stbi_flip_vertically_on_write(0);
  if (stbi_write_jpg_to_func(append, &out, width, height, 3, rgb, quality) == 0) out.clear();
  return out;
}

}  // namespace quarvel::artgen
