// quarvel_artgen: paints every picture of the launcher and writes the files that the
// program carries inside (assets/). Usage: quarvel_artgen <output-dir>
#include <exception>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "assets/pictures.h"
#include "background.h"
#include "button.h"
#include "icon.h"
#include "widget.h"
#include "writers.h"

namespace {

using namespace quarvel::artgen;
using quarvel::assets::Format;
using quarvel::assets::PictureDesc;
using quarvel::assets::Shows;

// JPEG quality for the widgets; 90 is the highest that still subsamples chroma 2 x 2.
constexpr int kWidgetQuality = 90;

// What the picture shows, in its look; a button names its word and its label's first column.
Picture8 paint(const PictureDesc& d) {
  switch (d.shows) {
    case Shows::background:
      return paint_background();
    case Shows::start:
      return paint_button(d.look, "START", 21);
    case Shows::help:
      return paint_button(d.look, "HELP", 34);
    case Shows::quit:
      return paint_button(d.look, "EXIT", 36);
    case Shows::minimize:
      return paint_widget(WidgetKind::minimize, d.look);
    case Shows::close:
      return paint_widget(WidgetKind::close, d.look);
    case Shows::icon:
      break;
  }
  throw std::logic_error("the icon is painted at two sizes, not as one picture");
}

// The picture's file image; the icon holds a 16 x 16 image beside its large one.
Bytes file_bytes(const PictureDesc& d) {
  switch (d.format) {
    case Format::bmp:
      return encode_bmp(paint(d));
    case Format::jpeg:
      return encode_jpeg(paint(d), kWidgetQuality);
    case Format::ico:
      break;
  }
  const std::vector<IndexedPicture> icon = {paint_icon(16), paint_icon(d.width)};
  return encode_ico(icon);
}

void generate(const std::filesystem::path& out) {
  std::filesystem::create_directories(out);
  for (const PictureDesc& d : quarvel::assets::kPictures)
    write_file(out / d.file_name, file_bytes(d));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quarvel_artgen <output-dir>\n";
    return 2;
  }
  try {
    generate(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "quarvel_artgen: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
