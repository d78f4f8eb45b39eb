// The stored file images: BMP headers and row padding, the JPEG markers (JFIF 1.01, baseline,
// 4:2:0), and the two-image ICO with its opaque masks.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

#include "picture_checks.h"

namespace quarvel::assets {

// Failure messages name a picture by its file.
void PrintTo(const PictureDesc& d, std::ostream* os) {
  *os << d.file_name;
}

namespace {

std::uint32_t u16(std::span<const std::uint8_t> s, std::size_t at) {
  return static_cast<std::uint32_t>(s[at] | s[at + 1] << 8);
}
std::uint32_t u32(std::span<const std::uint8_t> s, std::size_t at) {
  return u16(s, at) | u16(s, at + 2) << 16;
}
std::uint32_t be16(std::span<const std::uint8_t> s, std::size_t at) {
  return static_cast<std::uint32_t>(s[at] << 8 | s[at + 1]);
}

// Test names from the picture's file name without its extension.
std::string file_stem(const ::testing::TestParamInfo<PictureDesc>& p) {
  return std::string(p.param.file_name.substr(0, p.param.file_name.find('.')));
}

std::vector<PictureDesc> pictures_in(Format format) {
  std::vector<PictureDesc> out;
  for (const auto& d : kPictures) {
    if (d.format == format) out.push_back(d);
  }
  return out;
}

class BmpFile : public ::testing::TestWithParam<PictureDesc> {};

TEST_P(BmpFile, HasTheInfoHeaderAnd24BitRowsPaddedToFourBytes) {
  const PictureDesc& d = GetParam();
  const auto bytes = file_image(d.picture);
  const std::uint32_t row = (static_cast<std::uint32_t>(d.width) * 3 + 3) / 4 * 4;
  const std::uint32_t expected_size = 54 + row * static_cast<std::uint32_t>(d.height);
  ASSERT_EQ(bytes.size(), expected_size) << d.file_name;
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(u32(bytes, 2), expected_size) << "file size field";
  EXPECT_EQ(u32(bytes, 10), 54u) << "pixels follow the headers directly: no palette";
  EXPECT_EQ(u32(bytes, 14), 40u) << "BITMAPINFOHEADER";
  EXPECT_EQ(u32(bytes, 18), static_cast<std::uint32_t>(d.width));
  EXPECT_EQ(u32(bytes, 22), static_cast<std::uint32_t>(d.height)) << "positive: bottom-up";
  EXPECT_EQ(u16(bytes, 26), 1u) << "planes";
  EXPECT_EQ(u16(bytes, 28), 24u) << "bits per pixel";
  EXPECT_EQ(u32(bytes, 30), 0u) << "uncompressed";
  EXPECT_EQ(u32(bytes, 46), 0u) << "no palette colours";
  // Every fill byte at the end of a row is zero.
  for (int y = 0; y < d.height; ++y) {
    for (std::uint32_t i = static_cast<std::uint32_t>(d.width) * 3; i < row; ++i) {
      ASSERT_EQ(bytes[54 + y * row + i], 0) << d.file_name << " row " << y;
    }
  }
}

TEST(BmpFile, SizesAreThoseOfTheInventory) {
  for (const auto& d : pictures_in(Format::bmp)) {
    const std::size_t expected = d.picture == Picture::background ? 720054u : 15094u;
    EXPECT_EQ(file_image(d.picture).size(), expected) << d.file_name;
  }
}

TEST(BmpFile, BottomRowIsStoredFirst) {
  // The file stores the picture's top row last; decoding turns the rows the right way up.
  const auto bytes = file_image(Picture::background);
  const auto image = decode_picture(bytes);
  ASSERT_TRUE(image.has_value());
  const std::size_t last_row_in_file = 54 + 1500 * 479;
  for (int x = 0; x < 500; ++x) {
    const std::uint32_t stored = std::uint32_t{bytes[last_row_in_file + 3 * x + 2]} << 16 |
                                 std::uint32_t{bytes[last_row_in_file + 3 * x + 1]} << 8 |
                                 bytes[last_row_in_file + 3 * x];
    ASSERT_EQ(image->at(x, 0), stored) << "column " << x;
  }
}

INSTANTIATE_TEST_SUITE_P(AllBitmaps, BmpFile, ::testing::ValuesIn(pictures_in(Format::bmp)),
                         file_stem);

class JpegFile : public ::testing::TestWithParam<PictureDesc> {};

TEST_P(JpegFile, IsJfif101BaselineWith420Sampling) {
  const PictureDesc& d = GetParam();
  const auto bytes = file_image(d.picture);
  ASSERT_GT(bytes.size(), 20u) << d.file_name;
  EXPECT_EQ(be16(bytes, 0), 0xFFD8u) << "start of image";
  // APP0 comes first: "JFIF\0", version 1.01, no thumbnail.
  ASSERT_EQ(be16(bytes, 2), 0xFFE0u);
  EXPECT_EQ(be16(bytes, 4), 16u) << "APP0 length without a thumbnail";
  EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 11), std::string("JFIF\0", 5));
  EXPECT_EQ(bytes[11], 1) << "major version";
  EXPECT_EQ(bytes[12], 1) << "minor version";
  EXPECT_EQ(bytes[18], 0) << "thumbnail width";
  EXPECT_EQ(bytes[19], 0) << "thumbnail height";

  // Walk the segments up to the scan.
  bool baseline_frame = false;
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    ASSERT_EQ(bytes[at], 0xFF) << "marker expected at " << at;
    const int marker = bytes[at + 1];
    const std::uint32_t length = be16(bytes, at + 2);
    if (marker == 0xDA) break;
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      ASSERT_EQ(marker, 0xC0) << "only a baseline frame is allowed";
      baseline_frame = true;
      EXPECT_EQ(bytes[at + 4], 8) << "sample precision";
      EXPECT_EQ(be16(bytes, at + 5), static_cast<std::uint32_t>(d.height));
      EXPECT_EQ(be16(bytes, at + 7), static_cast<std::uint32_t>(d.width));
      ASSERT_EQ(bytes[at + 9], 3) << "three components";
      EXPECT_EQ(bytes[at + 10], 1) << "Y";
      EXPECT_EQ(bytes[at + 11], 0x22) << "Y sampled 2 x 2";
      EXPECT_EQ(bytes[at + 13], 2) << "Cb";
      EXPECT_EQ(bytes[at + 14], 0x11) << "Cb sampled 1 x 1";
      EXPECT_EQ(bytes[at + 16], 3) << "Cr";
      EXPECT_EQ(bytes[at + 17], 0x11) << "Cr sampled 1 x 1";
    }
    at += 2 + length;
  }
  EXPECT_TRUE(baseline_frame) << d.file_name << " has no SOF0 before its scan";
  EXPECT_EQ(be16(bytes, bytes.size() - 2), 0xFFD9u) << "end of image";
}

INSTANTIATE_TEST_SUITE_P(AllWidgets, JpegFile, ::testing::ValuesIn(pictures_in(Format::jpeg)),
                         file_stem);

TEST(IcoFile, HoldsTwoPaletteImagesWithZeroMasks) {
  const auto bytes = icon_file_image();
  ASSERT_EQ(bytes.size(), 3638u);
  EXPECT_EQ(u16(bytes, 0), 0u) << "reserved";
  EXPECT_EQ(u16(bytes, 2), 1u) << "type: icon";
  ASSERT_EQ(u16(bytes, 4), 2u) << "two images";

  struct Expected {
    int size;
    std::uint32_t bytes;
  };
  const Expected expected[] = {{16, 1384}, {32, 2216}};
  std::uint32_t next_offset = 6 + 2 * 16;
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE("image " + std::to_string(expected[i].size));
    const std::size_t entry = 6 + 16 * static_cast<std::size_t>(i);
    EXPECT_EQ(bytes[entry], expected[i].size) << "width";
    EXPECT_EQ(bytes[entry + 1], expected[i].size) << "height";
    EXPECT_EQ(bytes[entry + 2], 0) << "colour count 0 means 256";
    EXPECT_EQ(u16(bytes, entry + 4), 1u) << "planes";
    EXPECT_EQ(u16(bytes, entry + 6), 8u) << "bits per pixel";
    ASSERT_EQ(u32(bytes, entry + 8), expected[i].bytes);
    ASSERT_EQ(u32(bytes, entry + 12), next_offset);

    const std::size_t image = next_offset;
    const auto size = static_cast<std::uint32_t>(expected[i].size);
    EXPECT_EQ(u32(bytes, image), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(u32(bytes, image + 4), size);
    EXPECT_EQ(u32(bytes, image + 8), 2 * size) << "height counts the mask too";
    EXPECT_EQ(u16(bytes, image + 12), 1u);
    EXPECT_EQ(u16(bytes, image + 14), 8u);
    EXPECT_EQ(u32(bytes, image + 16), 0u) << "uncompressed";
    // 40 header + 256 * 4 palette + size rows of colour indices, then the 1-bit mask.
    const std::size_t mask = image + 40 + 1024 + static_cast<std::size_t>(size) * size;
    const std::size_t mask_bytes = 4 * static_cast<std::size_t>(size);
    ASSERT_EQ(mask + mask_bytes, image + expected[i].bytes);
    for (std::size_t b = mask; b < mask + mask_bytes; ++b) {
      ASSERT_EQ(bytes[b], 0) << "mask byte " << (b - mask) << " is not opaque";
    }
    next_offset += expected[i].bytes;
  }
  EXPECT_EQ(next_offset, bytes.size());
}

TEST(AllPictures, DecodeToTheirStatedSize) {
  const Pictures& all = testing::decoded();
  for (const auto& d : kPictures) {
    const Image& image = d.format == Format::ico ? all.icon.large : all[d.picture];
    EXPECT_EQ(image.width, d.width) << d.file_name;
    EXPECT_EQ(image.height, d.height) << d.file_name;
  }
  EXPECT_EQ(all.icon.small.width, 16);
  EXPECT_EQ(all.icon.small.height, 16);
}

}  // namespace
}  // namespace quarvel::assets
