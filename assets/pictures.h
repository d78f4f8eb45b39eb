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

// Every picture that an owner shows: the window's background and one per element.
// The names are the owners' names; the stored files are assets/<name>.bmp or .jpg.
enum class Picture : std::uint8_t {
  background,
  start,
  start_ovr,
  start_press,
  help,
  help_ovr,
  help_press,
  quit,
  exit_ovr,
  exit_press,
  minimize,
  ovrmin,
  selmin,
  close_b,
  ovrclose,
  selclose,
};
inline constexpr std::size_t kPictureCount = 16;

enum class Format : std::uint8_t { bmp, jpeg };

struct PictureDesc {
  Picture picture;
  std::string_view file_name;
  Format format;
  int width;
  int height;
};

// Sizes and formats are fixed: 500 x 480 BMP background, 125 x 40 BMP buttons,
// 18 x 18 JPEG widgets.
inline constexpr std::array<PictureDesc, kPictureCount> kPictures = {{
    {Picture::background, "background.bmp", Format::bmp, 500, 480},
    {Picture::start, "start.bmp", Format::bmp, 125, 40},
    {Picture::start_ovr, "start_ovr.bmp", Format::bmp, 125, 40},
    {Picture::start_press, "start_press.bmp", Format::bmp, 125, 40},
    {Picture::help, "help.bmp", Format::bmp, 125, 40},
    {Picture::help_ovr, "help_ovr.bmp", Format::bmp, 125, 40},
    {Picture::help_press, "help_press.bmp", Format::bmp, 125, 40},
    {Picture::quit, "quit.bmp", Format::bmp, 125, 40},
    {Picture::exit_ovr, "exit_ovr.bmp", Format::bmp, 125, 40},
    {Picture::exit_press, "exit_press.bmp", Format::bmp, 125, 40},
    {Picture::minimize, "minimize.jpg", Format::jpeg, 18, 18},
    {Picture::ovrmin, "ovrmin.jpg", Format::jpeg, 18, 18},
    {Picture::selmin, "selmin.jpg", Format::jpeg, 18, 18},
    {Picture::close_b, "close_b.jpg", Format::jpeg, 18, 18},
    {Picture::ovrclose, "ovrclose.jpg", Format::jpeg, 18, 18},
    {Picture::selclose, "selclose.jpg", Format::jpeg, 18, 18},
}};

constexpr const PictureDesc& describe(Picture p) {
  return kPictures[static_cast<std::size_t>(p)];
}

inline constexpr std::string_view kIconFileName = "quarvel.ico";

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
  std::array<Image, kPictureCount> images;
  IconImages icon;

  const Image& operator[](Picture p) const { return images[static_cast<std::size_t>(p)]; }

  // Decodes every embedded picture and the icon. The images are part of the
  // program, so a failure here is a build fault; the image is then left empty.
  static Pictures decode_all();
};

}  // namespace quarvel::assets
