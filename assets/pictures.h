// The launcher's pictures: which file image belongs to which owner, and decoding
// them into plain pixel buffers once, when the window is created.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quarvel::assets {

// A decoded, opaque picture: rows top-down, one 0x00RRGGBB word per pixel.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

enum class Format : std::uint8_t { bmp, jpeg, ico };

// What a picture shows, and in which look: a control's look under the pointer (hover) and while
// held down (pressed; the widgets' "sel" pictures).
enum class Shows : std::uint8_t { background, start, help, quit, minimize, close, icon };
enum class Look : std::uint8_t { normal, hover, pressed };

// Every picture the program carries: the window's background, one per element (named as its
// owner), and the program icon. The list is assets/picture_list.h.
enum class Picture : std::uint8_t {
#define QUARVEL_PICTURE(name, file, format, width, height, shows, look) name,
#include "assets/picture_list.h"
#undef QUARVEL_PICTURE
};

struct PictureDesc {
  Picture picture;
  std::string_view file_name;
  Format format;
  int width;  // the icon's: its large image
  int height;
  Shows shows;
  Look look;
};

inline constexpr auto kPictures = std::to_array<PictureDesc>({
#define QUARVEL_PICTURE(name, file, format, width, height, shows, look) \
  {Picture::name, file, Format::format, width, height, Shows::shows, Look::look},
#include "assets/picture_list.h"
#undef QUARVEL_PICTURE
});
inline constexpr std::size_t kPictureCount = kPictures.size();

constexpr const PictureDesc& describe(Picture p) {
  return kPictures[static_cast<std::size_t>(p)];
}

// The stored file image of a picture or of the icon (empty if absent).
std::span<const std::uint8_t> file_image(Picture p);
std::span<const std::uint8_t> icon_file_image();

// Decodes a BMP or JPEG file image. Empty optional if the bytes are not a picture.
std::optional<Image> decode_picture(std::span<const std::uint8_t> file);

// The two images of the program icon, small (16 x 16) and large (32 x 32).
struct IconImages {
  Image small;
  Image large;
};
// Parses an ICO file image holding 8-bit palette images. Empty optional if malformed.
std::optional<IconImages> decode_icon(std::span<const std::uint8_t> file);

// All pictures of the window, decoded once.
struct Pictures {
  std::array<Image, kPictureCount> images;  // the icon's stays empty: its images are in `icon`
  IconImages icon;

  const Image& operator[](Picture p) const { return images[static_cast<std::size_t>(p)]; }

  // Decodes every embedded picture and the icon. The images are part of the
  // program, so a failure here is a build fault; the image is then left empty.
  static Pictures decode_all();
};

}  // namespace quarvel::assets
