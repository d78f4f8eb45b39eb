// The cue player drives its device in a fixed order and builds every path
// afresh; checked against a device that records what it is told.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sound/cue_player.h"

namespace quarvel::sound {
namespace {

// Records every request as one line of text.
class RecordingDevice final : public CueDevice {
 public:
  void set_device_type(std::string_view type) override {
    log.push_back("type " + std::string(type));
  }
  void set_file_name(std::string path) override { log.push_back("file " + path); }
  void command(CueCommand c) override {
    log.push_back(c == CueCommand::open ? "open" : c == CueCommand::play ? "play" : "close");
  }
  bool finish(std::chrono::milliseconds) override { return true; }
  std::vector<std::string> log;
};

using Log = std::vector<std::string>;

class CuePlayerTest : public ::testing::Test {
 protected:
  // The directory changes between builds, as a moved program folder would:
  // each path must come from a build of its own, made when the cue plays.
  RecordingDevice device;
  std::string dir = "C:\\Games\\Quarvel";
  int builds = 0;
  CuePlayer player{device, [this](std::string_view literal) {
                     ++builds;
                     return dir + std::string(literal);
                   }};
};

TEST_F(CuePlayerTest, SetUpConfiguresTheDeviceThenOpensAndPlaysTheOpenCue) {
  player.set_up_and_play_open();
  EXPECT_EQ(device.log,
            (Log{"type WaveAudio", "file C:\\Games\\Quarvel\\Install\\open.wav", "open", "play"}));
  EXPECT_EQ(builds, 1);
}

TEST_F(CuePlayerTest, EachCueClosesFirstThenNamesItsFileOpensAndPlays) {
  const struct {
    Cue cue;
    const char* file;
  } cases[] = {{Cue::hover, "hover.wav"},
               {Cue::click, "click.wav"},
               {Cue::start, "start.wav"},
               {Cue::back, "back.wav"},
               {Cue::open, "open.wav"}};
  for (const auto& c : cases) {
    device.log.clear();
    player.play(c.cue);
    EXPECT_EQ(device.log, (Log{"close", std::string("file C:\\Games\\Quarvel\\Install\\") + c.file,
                               "open", "play"}))
        << "cue " << c.file;
  }
}

TEST_F(CuePlayerTest, ThePathIsBuiltAfreshForEveryCue) {
  player.set_up_and_play_open();
  dir = "D:\\";  // a drive root: plain concatenation gives two backslashes
  player.play(Cue::hover);
  dir = "/opt/quarvel";
  player.play(Cue::hover);
  EXPECT_EQ(builds, 3);
  EXPECT_EQ(device.log[1], "file C:\\Games\\Quarvel\\Install\\open.wav");
  EXPECT_EQ(device.log[5], "file D:\\\\Install\\hover.wav");
  EXPECT_EQ(device.log[9], "file /opt/quarvel\\Install\\hover.wav");
}

TEST_F(CuePlayerTest, TheDeviceTypeIsSetOnceAtSetUpOnly) {
  player.set_up_and_play_open();
  player.play(Cue::hover);
  player.play(Cue::back);
  player.close();
  int types = 0;
  for (const auto& line : device.log) types += line.rfind("type ", 0) == 0;
  EXPECT_EQ(types, 1);
  EXPECT_EQ(device.log.front(), "type WaveAudio");
}

TEST_F(CuePlayerTest, UnloadClosesAndDoesNothingElse) {
  player.set_up_and_play_open();
  player.play(Cue::hover);
  device.log.clear();
  player.close();
  EXPECT_EQ(device.log, (Log{"close"}));
  EXPECT_EQ(builds, 2);
}

TEST_F(CuePlayerTest, AWholeSessionInOrder) {
  player.set_up_and_play_open();
  player.play(Cue::hover);
  player.play(Cue::click);
  player.close();
  const std::string install = "file C:\\Games\\Quarvel\\Install\\";
  EXPECT_EQ(device.log, (Log{"type WaveAudio", install + "open.wav", "open", "play",  //
                             "close", install + "hover.wav", "open", "play",          //
                             "close", install + "click.wav", "open", "play",          //
                             "close"}));
}

}  // namespace
}  // namespace quarvel::sound
