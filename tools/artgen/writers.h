// File images of the finished pictures: 24-bit BMP, baseline JPEG and a two-image ICO.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "icon.h"
#include "raster.h"

namespace quarvel::artgen {

using Bytes = std::vector<std::uint8_t>;

// Windows bitmap: 40-byte info header, 24 bits per pixel, bottom-up rows padded to 4 bytes.
Bytes encode_bmp(const Picture8& picture);

// JFIF 1.01 baseline JPEG with 4:2:0 chroma (quality must be at most 90 for that).
Bytes encode_jpeg(const Picture8& picture, int quality);

// Windows icon with one 8-bit palette image per entry and all-zero (opaque) masks.
Bytes encode_ico(std::span<const IndexedPicture> images);

// Writes the bytes to the file, replacing it. Throws on failure.
void write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace quarvel::artgen
