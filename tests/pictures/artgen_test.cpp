// The generator reproduces the committed pictures byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "assets/pictures.h"

namespace {

namespace fs = std::filesystem;

std::vector<char> read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string quoted(const fs::path& path) {
  std::ostringstream out;
  out << '"' << path.string() << '"';
  return out.str();
}

int run_generator(const std::string& arguments) {
  std::ostringstream command;
  command << '"' << QUARVEL_ARTGEN << "\" " << arguments;
  return std::system(command.str().c_str());
}

class Generator : public ::testing::Test {
 protected:
  void SetUp() override {
    out_ =
        fs::temp_directory_path() / ("quarvel_artgen_" + std::to_string(std::random_device{}()) +
                                     "_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::remove_all(out_);
  }
  void TearDown() override { fs::remove_all(out_); }
  fs::path out_;
};

TEST_F(Generator, ReproducesEveryCommittedPictureByteForByte) {
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run + 1));
    ASSERT_EQ(run_generator(quoted(out_)), 0);
    for (const auto& d : quarvel::assets::kPictures) {
      const std::string name(d.file_name);
      const fs::path made = out_ / name;
      const fs::path committed = fs::path(QUARVEL_ASSETS_DIR) / name;
      ASSERT_TRUE(fs::exists(made)) << name << " was not written";
      ASSERT_TRUE(fs::exists(committed)) << name << " is not committed";
      EXPECT_TRUE(read_all(made) == read_all(committed))
          << name << " differs from the committed file: run the regenerate-assets target";
    }
    // Exactly the pictures of the table, nothing else.
    EXPECT_EQ(static_cast<std::size_t>(
                  std::distance(fs::directory_iterator(out_), fs::directory_iterator())),
              quarvel::assets::kPictures.size());
  }
}

TEST_F(Generator, RefusesToRunWithoutAnOutputFolder) {
  EXPECT_NE(run_generator(""), 0);
  EXPECT_FALSE(fs::exists(out_));
}

TEST_F(Generator, ReportsAFolderItCannotWrite) {
  // A plain file where the folder should be.
  std::ofstream(out_.string()) << "in the way";
  EXPECT_NE(run_generator(quoted(out_ / "pictures") + " 2>/dev/null"), 0);
}

}  // namespace
