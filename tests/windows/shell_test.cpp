// The Windows shell backend under Wine: requests built by the core are carried
// out through ShellExecuteA, or ShellExecuteW where the ANSI code page cannot
// hold a string, and reach a recording stub game and a recording ".doc" handler.
#include <gtest/gtest.h>
#include <windows.h>
// shellapi.h needs the types from windows.h first.
#include <shellapi.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "launch/shell_request.h"
#include "wine_paths.h"

namespace quarvel::wintest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The lines of a record file once it has `lines` of them (or what is there after 10 s).
std::vector<std::wstring> read_record(const fs::path& file, std::size_t lines) {
  std::vector<std::wstring> out;
  for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(20ms)) {
    out.clear();
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) out.push_back(widen(line));
    if (out.size() >= lines) break;
  }
  return out;
}

// Runs a program and waits for it; its exit code, or -1.
int run_and_wait(const std::wstring& program, const std::wstring& arguments) {
  std::wstring command = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return -1;
  }
  WaitForSingleObject(pi.hProcess, 30000);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

bool fits_ansi_code_page(const std::wstring& text) {
  BOOL used_default = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, nullptr,
                      &used_default);
  return !used_default;
}

bool same_path(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// A launcher folder named `name` in the temporary folder, with the stub game
// in GameData and an empty manual in GameData\voskbase\documentation.
class ShellTest : public ::testing::Test {
 protected:
  void stage(const std::wstring& name) {
    std::wstring temp(MAX_PATH + 1, L'\0');
    temp.resize(GetTempPathW(static_cast<DWORD>(temp.size()), temp.data()));
    root_ = fs::path(temp) / (L"quarvel-shell-" + std::to_wstring(GetCurrentProcessId()));
    app_dir_ = root_ / name;
    fs::create_directories(app_dir_ / L"GameData" / L"voskbase" / L"documentation");
    fs::copy_file(from_unix(QUARVEL_STUB_GAME), app_dir_ / L"GameData" / L"vivu.exe");
    std::ofstream(app_dir_ / L"GameData" / L"voskbase" / L"documentation" / L"manual.doc")
        << "manual";
  }
  void TearDown() override {
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }

  std::string app_dir_utf8() const { return utf8(app_dir_.wstring()); }

  // Starts the game as the start command does; checks what the game saw.
  void expect_game_started() {
    const auto request = launch::launch_game_request(app_dir_utf8(), '\\', NativeHandle::none);
    launch::make_platform_shell()->execute(request);
    const auto record = read_record(app_dir_ / L"GameData" / L"started.txt", 2);
    ASSERT_EQ(record.size(), 2u) << "the game was not started from " << app_dir_utf8();
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(record[0].c_str(), &argc);
    ASSERT_NE(argv, nullptr);
    const std::vector<std::wstring> args(argv, argv + argc);
    LocalFree(argv);
    ASSERT_EQ(args.size(), 4u) << "command line: " << utf8(record[0]);
    EXPECT_TRUE(same_path(args[0], (app_dir_ / L"GameData" / L"vivu.exe").wstring()))
        << utf8(args[0]);
    EXPECT_TRUE(record[0].ends_with(L" +set fs_game voskbase")) << utf8(record[0]);
    EXPECT_EQ(args[1], L"+set");
    EXPECT_EQ(args[2], L"fs_game");
    EXPECT_EQ(args[3], L"voskbase");
    EXPECT_TRUE(same_path(record[1], (app_dir_ / L"GameData").wstring()))
        << "working directory " << utf8(record[1]);
  }

  fs::path root_;
  fs::path app_dir_;
};

TEST_F(ShellTest, StartsTheGameWithTheModSelectedInGameData) {
  stage(L"Quarvel");
  expect_game_started();
}

TEST_F(ShellTest, AFolderWithSpacesNeedsNoQuotes) {
  stage(L"Quarvel Mod Folder");
  expect_game_started();
}

TEST_F(ShellTest, LettersOfTheAnsiCodePageGoThroughAnsi) {
  const std::wstring name = L"Caf\u00e9 Quarvel";
  ASSERT_TRUE(fits_ansi_code_page(name)) << "code page " << GetACP();
  stage(name);
  expect_game_started();
}

TEST_F(ShellTest, LettersOutsideTheAnsiCodePageStillStartTheGame) {
  const std::wstring name =
      L"\u041a\u0432\u0430\u0440\u0432\u0435\u043b \u03a9\u03bc\u03ad\u03b3\u03b1";
  ASSERT_FALSE(fits_ansi_code_page(name)) << "code page " << GetACP() << " holds the name";
  stage(name);
  expect_game_started();
}

class ManualTest : public ShellTest {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(run_and_wait(from_unix(QUARVEL_DOC_RECORDER), L"--register"), 0);
  }

  // Opens the manual as the help command does; checks what the handler saw.
  void expect_manual_opened(std::size_t times) {
    const auto request = launch::open_manual_request(app_dir_utf8(), '\\', NativeHandle::none);
    ASSERT_FALSE(request.parameters.has_value());
    for (std::size_t i = 0; i < times; ++i) launch::make_platform_shell()->execute(request);
    const fs::path docs = app_dir_ / L"GameData" / L"voskbase" / L"documentation";
    const auto record = read_record(docs / L"opened.txt", 2 * times);
    ASSERT_EQ(record.size(), 2 * times) << "the manual was not opened " << times << " times";
    for (std::size_t i = 0; i < times; ++i) {
      int argc = 0;
      LPWSTR* argv = CommandLineToArgvW(record[2 * i].c_str(), &argc);
      ASSERT_NE(argv, nullptr);
      const std::vector<std::wstring> args(argv, argv + argc);
      LocalFree(argv);
      ASSERT_EQ(args.size(), 2u) << utf8(record[2 * i]);
      EXPECT_TRUE(same_path(args[1], (docs / L"manual.doc").wstring())) << utf8(args[1]);
      EXPECT_TRUE(same_path(record[2 * i + 1], docs.wstring()))
          << "working directory " << utf8(record[2 * i + 1]);
    }
  }
};

TEST_F(ManualTest, GoesToTheHandlerOfDocInTheDocumentationFolder) {
  stage(L"Quarvel Mod Folder");
  expect_manual_opened(1);
}

TEST_F(ManualTest, OpensAgainEveryTime) {
  stage(L"Quarvel");
  expect_manual_opened(2);
}

TEST_F(ManualTest, LettersOutsideTheAnsiCodePageStillOpenTheManual) {
  const std::wstring name = L"\u30af\u30a9\u30fc\u30f4\u30a7\u30eb";
  ASSERT_FALSE(fits_ansi_code_page(name));
  stage(name);
  expect_manual_opened(1);
}

}  // namespace
}  // namespace quarvel::wintest
