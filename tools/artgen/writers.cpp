#include "writers.h"

#include <fstream>
#include <stdexcept>
#include <string>

#include "stb_jpeg.h"

namespace quarvel::artgen {

namespace {

// Pixels per metre stored in the BMP headers: about 74 x 70 dots per inch.
constexpr std::uint32_t kPelsPerMetreX = 2913;
constexpr std::uint32_t kPelsPerMetreY = 2756;

void put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

std::uint32_t padded_row(int width, int bits) {
  return static_cast<std::uint32_t>((width * bits + 31) / 32 * 4);
}

// BITMAPINFOHEADER.
void put_info_header(Bytes& out, int width, int height, int bits, std::uint32_t image_size,
                     std::uint32_t colours_used, bool with_density) {
  put32(out, 40);
  put32(out, static_cast<std::uint32_t>(width));
  put32(out, static_cast<std::uint32_t>(height));
  put16(out, 1);  // planes
  put16(out, static_cast<std::uint32_t>(bits));
  put32(out, 0);  // BI_RGB: uncompressed
  put32(out, image_size);
  put32(out, with_density ? kPelsPerMetreX : 0);
  put32(out, with_density ? kPelsPerMetreY : 0);
  put32(out, colours_used);
  put32(out, 0);  // important colours: all
}

}  // namespace

Bytes encode_bmp(const Picture8& picture) {
  const std::uint32_t row_bytes = padded_row(picture.width, 24);
  const std::uint32_t image_size = row_bytes * static_cast<std::uint32_t>(picture.height);
  constexpr std::uint32_t kHeaders = 14 + 40;
  Bytes out;
  out.reserve(kHeaders + image_size);
  // BITMAPFILEHEADER
  out.push_back('B');
  out.push_back('M');
  put32(out, kHeaders + image_size);
  put32(out, 0);
  put32(out, kHeaders);
  put_info_header(out, picture.width, picture.height, 24, image_size, 0, true);
  for (int y = picture.height - 1; y >= 0; --y) {
    const std::size_t row_start = out.size();
    for (int x = 0; x < picture.width; ++x) {
      const Rgb& c = picture.at(x, y);
      out.push_back(c.b);
      out.push_back(c.g);
      out.push_back(c.r);
    }
    out.resize(row_start + row_bytes, 0);
  }
  return out;
}

Bytes encode_jpeg(const Picture8& picture, int quality) {
  if (quality < 1 || quality > 90) throw std::invalid_argument("JPEG quality must be 1..90");
  Bytes rgb;
  rgb.reserve(picture.pixels.size() * 3);
  for (const Rgb& c : picture.pixels) {
    rgb.push_back(c.r);
    rgb.push_back(c.g);
    rgb.push_back(c.b);
  }
  Bytes out = stb_encode_jpeg(rgb.data(), picture.width, picture.height, quality);
  if (out.empty()) throw std::runtime_error("JPEG encoding failed");
  return out;
}

Bytes encode_ico(std::span<const IndexedPicture> images) {
  struct Entry {
    std::uint32_t size;
    std::uint32_t offset;
  };
  std::vector<Entry> entries;
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (const IndexedPicture& image : images) {
    const std::uint32_t size = 40 + 256 * 4 + padded_row(image.size, 8) * image.size +
                               padded_row(image.size, 1) * image.size;
    entries.push_back({size, offset});
    offset += size;
  }

  Bytes out;
  put16(out, 0);  // reserved
  put16(out, 1);  // type: icon
  put16(out, static_cast<std::uint32_t>(images.size()));
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<std::uint8_t>(images[i].size));  // width
    out.push_back(static_cast<std::uint8_t>(images[i].size));  // height
    out.push_back(0);                                          // colours: 0 means 256
    out.push_back(0);                                          // reserved
    put16(out, 1);                                             // planes
    put16(out, 8);                                             // bits per pixel
    put32(out, entries[i].size);
    put32(out, entries[i].offset);
  }
  for (const IndexedPicture& image : images) {
    const std::uint32_t colour_row = padded_row(image.size, 8);
    const std::uint32_t mask_row = padded_row(image.size, 1);
    // The height counts the colour bitmap and the mask together.
    put_info_header(out, image.size, image.size * 2, 8, (colour_row + mask_row) * image.size, 256,
                    false);
    for (const Rgb& c : image.palette) {
      out.push_back(c.b);
      out.push_back(c.g);
      out.push_back(c.r);
      out.push_back(0);
    }
    for (int y = image.size - 1; y >= 0; --y) {
      const std::size_t row_start = out.size();
      for (int x = 0; x < image.size; ++x) {
        out.push_back(image.indices[static_cast<std::size_t>(y) * image.size + x]);
      }
      out.resize(row_start + colour_row, 0);
    }
    // Every mask bit is zero: each pixel is opaque.
    out.resize(out.size() + static_cast<std::size_t>(mask_row) * image.size, 0);
  }
  return out;
}

void write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw std::runtime_error("cannot open " + path.string() + " for writing");
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace quarvel::artgen
