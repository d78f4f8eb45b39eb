// quarvel_artgen: paints every picture of the launcher and writes the files that the
// program carries inside (assets/). Usage: quarvel_artgen <output-dir>
#include <array>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

#include "background.h"
#include "button.h"
#include "icon.h"
#include "widget.h"
#include "writers.h"

namespace {

using namespace quarvel::artgen;

// JPEG quality for the widgets; 90 is the highest that still subsamples chroma 2 x 2.
constexpr int kWidgetQuality = 90;

struct ButtonFile {
  std::string_view file_name;
  std::string_view word;
  int label_left;
  ButtonState state;
};

constexpr std::array<ButtonFile, 9> kButtons = {{
    {"start.bmp", "START", 21, ButtonState::normal},
    {"start_ovr.bmp", "START", 21, ButtonState::hover},
    {"start_press.bmp", "START", 21, ButtonState::pressed},
    {"help.bmp", "HELP", 34, ButtonState::normal},
    {"help_ovr.bmp", "HELP", 34, ButtonState::hover},
    {"help_press.bmp", "HELP", 34, ButtonState::pressed},
    {"quit.bmp", "EXIT", 36, ButtonState::normal},
    {"exit_ovr.bmp", "EXIT", 36, ButtonState::hover},
    {"exit_press.bmp", "EXIT", 36, ButtonState::pressed},
}};

struct WidgetFile {
  std::string_view file_name;
  WidgetKind kind;
  WidgetState state;
};

constexpr std::array<WidgetFile, 6> kWidgets = {{
    {"minimize.jpg", WidgetKind::minimize, WidgetState::normal},
    {"ovrmin.jpg", WidgetKind::minimize, WidgetState::hover},
    {"selmin.jpg", WidgetKind::minimize, WidgetState::selected},
    {"close_b.jpg", WidgetKind::close, WidgetState::normal},
    {"ovrclose.jpg", WidgetKind::close, WidgetState::hover},
    {"selclose.jpg", WidgetKind::close, WidgetState::selected},
}};

void generate(const std::filesystem::path& out) {
  std::filesystem::create_directories(out);
  write_file(out / "background.bmp", encode_bmp(paint_background()));
  for (const ButtonFile& b : kButtons) {
    write_file(out / b.file_name, encode_bmp(paint_button(b.state, b.word, b.label_left)));
  }
  for (const WidgetFile& w : kWidgets) {
    write_file(out / w.file_name, encode_jpeg(paint_widget(w.kind, w.state), kWidgetQuality));
  }
  const std::vector<IndexedPicture> icon = {paint_icon(16), paint_icon(32)};
  write_file(out / "quarvel.ico", encode_ico(icon));
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
