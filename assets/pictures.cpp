#include "assets/pictures.h"

#include <stb_image.h>

#include <cstdint>

#include "assets/embedded.h"

namespace quarvel::assets {

namespace {

std::span<const std::uint8_t> embedded(std::string_view name) {
  for (const auto& f : embedded_files()) {
    if (f.name == name) return f.bytes;
  }
  return {};
}

std::uint32_t rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b;
}

// Little-endian readers over a byte span; out-of-range reads give nullopt.
std::optional<std::uint32_t> read_u32(std::span<const std::uint8_t> s, std::size_t at) {
  if (at > s.size() || s.size() - at < 4) return std::nullopt;
  return std::uint32_t{s[at]} | std::uint32_t{s[at + 1]} << 8 | std::uint32_t{s[at + 2]} << 16 |
         std::uint32_t{s[at + 3]} << 24;
}
std::optional<std::uint16_t> read_u16(std::span<const std::uint8_t> s, std::size_t at) {
  if (at > s.size() || s.size() - at < 2) return std::nullopt;
  return static_cast<std::uint16_t>(s[at] | s[at + 1] << 8);
}

// One icon image: a BITMAPINFOHEADER (height doubled for the mask), a 256-colour
// palette, the 8-bit colour rows and the 1-bit mask rows, both bottom-up.
std::optional<Image> decode_icon_image(std::span<const std::uint8_t> d, int want_size) {
  const auto header = read_u32(d, 0);
  const auto width = read_u32(d, 4);
  const auto height = read_u32(d, 8);
  const auto bpp = read_u16(d, 14);
  const auto compression = read_u32(d, 16);
  if (!header || *header != 40 || !width || !height || !bpp || !compression) return std::nullopt;
  const int w = static_cast<int>(*width);
  if (w != want_size || *height != 2 * *width || *bpp != 8 || *compression != 0)
    return std::nullopt;

  const std::size_t palette_at = 40;
  const std::size_t pixels_at = palette_at + 256 * 4;
  const std::size_t row = (static_cast<std::size_t>(w) + 3) & ~std::size_t{3};
  if (d.size() < pixels_at + row * static_cast<std::size_t>(w)) return std::nullopt;

  Image img{w, w, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * w)};
  for (int y = 0; y < w; ++y) {
    const std::size_t src_row = pixels_at + row * static_cast<std::size_t>(w - 1 - y);
    for (int x = 0; x < w; ++x) {
      const std::size_t entry = palette_at + 4 * std::size_t{d[src_row + x]};
      img.pixels[static_cast<std::size_t>(y) * w + x] = rgb(d[entry + 2], d[entry + 1], d[entry]);
    }
  }
  return img;
}

}  // namespace

std::span<const std::uint8_t> file_image(Picture p) {
  return embedded(describe(p).file_name);
}

std::span<const std::uint8_t> icon_file_image() {
  return file_image(Picture::icon);
}

std::optional<Image> decode_picture(std::span<const std::uint8_t> file) {
  if (file.empty() || file.size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;
  int w = 0, h = 0, channels = 0;
  stbi_uc* data =
      stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &channels, 3);
  if (!data) return std::nullopt;
  Image img{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)};
  for (std::size_t i = 0; i < img.pixels.size(); ++i) {
    img.pixels[i] = rgb(data[3 * i], data[3 * i + 1], data[3 * i + 2]);
  }
  stbi_image_free(data);
  return img;
}

std::optional<IconImages> decode_icon(std::span<const std::uint8_t> file) {
  // ICONDIR: reserved 0, type 1, count; then 16-byte entries.
  const auto reserved = read_u16(file, 0);
  const auto type = read_u16(file, 2);
  const auto count = read_u16(file, 4);
  if (!reserved || *reserved != 0 || !type || *type != 1 || !count) return std::nullopt;

  std::optional<Image> small, large;
  for (std::size_t i = 0; i < *count; ++i) {
    const std::size_t entry = 6 + 16 * i;
    const auto size = read_u32(file, entry + 8);
    const auto offset = read_u32(file, entry + 12);
    if (!size || !offset || *offset > file.size() || file.size() - *offset < *size) {
      return std::nullopt;
    }
    const int side = file[entry] == 0 ? 256 : file[entry];
    const auto image = decode_icon_image(file.subspan(*offset, *size), side);
    if (!image) return std::nullopt;
    if (side == 16) small = image;
    if (side == 32) large = image;
  }
  if (!small || !large) return std::nullopt;
  return IconImages{std::move(*small), std::move(*large)};
}

Pictures Pictures::decode_all() {
  Pictures all;
  for (const auto& d : kPictures) {
    if (d.format == Format::ico) {
      if (auto icon = decode_icon(file_image(d.picture))) all.icon = std::move(*icon);
    } else if (auto img = decode_picture(file_image(d.picture))) {
      all.images[static_cast<std::size_t>(d.picture)] = std::move(*img);
    }
  }
  return all;
}

}  // namespace quarvel::assets
