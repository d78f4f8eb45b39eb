// A narrow door to stb_image_write's JPEG encoder, so its header stays in one file.
#pragma once

#include <cstdint>
#include <vector>

namespace quarvel::artgen {

// Encodes tightly packed RGB rows (top-down). Returns an empty vector on failure.
std::vector<std::uint8_t> stb_encode_jpeg(const std::uint8_t* rgb, int width, int height,
                                          int quality);

}  // namespace quarvel::artgen
