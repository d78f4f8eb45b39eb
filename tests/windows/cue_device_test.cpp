// The MCI cue device under Wine with a real wave-audio device (a private sound
// server's null sink, see tests/support/sound-session.sh): a cue's file is opened, a new
// cue cuts the old one off without holding up the caller, close lets go of the
// file, and each cue of the cue player closes the one before. What the device
// has open is seen from outside, as the cue files it holds.
#include <gtest/gtest.h>
#include <windows.h>
// mmsystem.h needs the types from windows.h first.
#include <mmsystem.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "record.h"
#include "sound/cue_device.h"
#include "sound/cue_player.h"

namespace quarvel::wintest {
namespace {

namespace fs = std::filesystem;
using sound::Cue;
using sound::CueCommand;

// A mono 16-bit PCM WAV file with a 440 Hz tone of `millis` length.
void write_tone(const fs::path& file, int millis) {
  constexpr std::uint32_t kRate = 22050;
  const std::uint32_t samples = kRate * static_cast<std::uint32_t>(millis) / 1000;
  std::vector<std::int16_t> pcm(samples);
  for (std::uint32_t i = 0; i < samples; ++i) {
    pcm[i] = static_cast<std::int16_t>(8000 * std::sin(i * 2 * 3.14159265 * 440 / kRate));
  }
  std::ofstream out(file, std::ios::binary);
  auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  const std::uint32_t data_bytes = samples * 2;
  out.write("RIFF", 4);
  u32(36 + data_bytes);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);  // PCM
  u16(1);  // mono
  u32(kRate);
  u32(kRate * 2);
  u16(2);
  u16(16);
  out.write("data", 4);
  u32(data_bytes);
  out.write(reinterpret_cast<const char*>(pcm.data()), data_bytes);
}

// Whether some program holds the file open against writing, as the
// wave-audio device does with the cue it has open.
bool held(const fs::path& file) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}

// Whether the file comes to be held (or let go) within 5 s: the device sends
// its commands from a thread of its own.
::testing::AssertionResult becomes_held(const fs::path& file, bool want = true) {
  for (int i = 0; i < 500; ++i, Sleep(10)) {
    if (held(file) == want) return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << utf8(file.wstring()) << (want ? " was never opened" : " is still held");
}

class CueDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(waveOutGetNumDevs(), 0u)
        << "no wave-audio device: run under tests/support/sound-session.sh run";
    std::wstring temp(MAX_PATH + 1, L'\0');
    temp.resize(GetTempPathW(static_cast<DWORD>(temp.size()), temp.data()));
    // A folder with a space and a letter beyond ASCII. (Wine's wave-audio
    // device opens its file through the ANSI code page, so letters outside it
    // cannot be tried here; Windows itself opens the UTF-16 path.)
    root_ = fs::path(temp) / (L"quarvel-sound-" + std::to_wstring(GetCurrentProcessId()));
    folder_ = root_ / L"Caf\u00e9 Sounds";
    fs::create_directories(folder_);
    device_ = sound::make_platform_cue_device();
    device_->set_device_type("WaveAudio");
  }
  void TearDown() override {
    // As the program's unload step: close whatever is open. (Wine keeps an
    // alias left open by an ended thread, and the next test would lose it.)
    if (device_) device_->command(CueCommand::close);
    device_.reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  fs::path tone(const std::wstring& name, int millis) {
    const fs::path file = folder_ / name;
    write_tone(file, millis);
    return file;
  }
  void open_and_play(const fs::path& file) {
    device_->set_file_name(utf8(file.wstring()));
    device_->command(CueCommand::open);
    device_->command(CueCommand::play);
  }

  fs::path root_, folder_;
  std::unique_ptr<sound::CueDevice> device_;
};

TEST_F(CueDeviceTest, OpensTheCueFileByItsPathAndKeepsItOpenAfterPlaying) {
  const fs::path file = tone(L"hover.wav", 200);
  open_and_play(file);
  EXPECT_TRUE(becomes_held(file));
  Sleep(500);  // played to its end: still open until the next close
  EXPECT_TRUE(held(file));
}

// Under Wine, closing a playing cue alone takes most of a second; the caller
// (the message loop) must not wait for it.
TEST_F(CueDeviceTest, ANewCueCutsTheOldOneOffWithoutHoldingUpTheCaller) {
  const fs::path old_cue = tone(L"long cue.wav", 3000);
  open_and_play(old_cue);
  ASSERT_TRUE(becomes_held(old_cue));
  Sleep(200);  // sounding now
  const fs::path next = tone(L"next cue.wav", 3000);
  const auto before = std::chrono::steady_clock::now();
  device_->command(CueCommand::close);
  open_and_play(next);
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_LT(took, std::chrono::milliseconds(100)) << "the caller waited for the sound device";
  EXPECT_TRUE(becomes_held(next));
  EXPECT_FALSE(held(old_cue));
}

TEST_F(CueDeviceTest, CloseLetsGoOfTheFile) {
  const fs::path file = tone(L"long cue.wav", 3000);
  open_and_play(file);
  ASSERT_TRUE(becomes_held(file));
  device_->command(CueCommand::close);
  EXPECT_TRUE(becomes_held(file, false));
}

TEST_F(CueDeviceTest, TheDeviceSendsTheLastCloseBeforeItGoes) {
  const fs::path file = tone(L"long cue.wav", 3000);
  open_and_play(file);
  ASSERT_TRUE(becomes_held(file));
  device_->command(CueCommand::close);
  device_.reset();  // as the window host does after the unload step
  EXPECT_FALSE(held(file));
}

TEST_F(CueDeviceTest, AMissingFileIsSilenceAndTheNextCueStillPlays) {
  open_and_play(folder_ / L"missing.wav");
  device_->command(CueCommand::close);
  const fs::path file = tone(L"back.wav", 2000);
  open_and_play(file);
  EXPECT_TRUE(becomes_held(file));
}

TEST_F(CueDeviceTest, EachCueOfThePlayerClosesTheOneBefore) {
  const fs::path install = folder_ / L"Install";
  fs::create_directories(install);
  for (const wchar_t* name : {L"open.wav", L"hover.wav", L"click.wav"}) {
    write_tone(install / name, 3000);
  }
  const std::string dir = utf8(folder_.wstring());
  sound::CuePlayer player(*device_,
                          [&](std::string_view literal) { return dir + std::string(literal); });
  player.set_up_and_play_open();
  ASSERT_TRUE(becomes_held(install / L"open.wav"));
  player.play(Cue::hover);
  player.play(Cue::click);
  EXPECT_TRUE(becomes_held(install / L"click.wav"));
  EXPECT_FALSE(held(install / L"open.wav"));
  EXPECT_FALSE(held(install / L"hover.wav"));
  player.close();
  EXPECT_TRUE(becomes_held(install / L"click.wav", false));
}

}  // namespace
}  // namespace quarvel::wintest
