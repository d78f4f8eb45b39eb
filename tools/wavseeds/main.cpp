// Writes the WAV decoder's fuzz seed corpus into a folder:
//   quarvel_wavseeds OUTDIR
#include <filesystem>
#include <fstream>
#include <iostream>

#include "wav_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " OUTDIR\n";
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  for (const auto& seed : quarvel::wavseeds::seed_corpus()) {
    std::ofstream out(dir / seed.name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(seed.bytes.data()),
              static_cast<std::streamsize>(seed.bytes.size()));
    if (!out) {
      std::cerr << "cannot write " << (dir / seed.name) << '\n';
      return 1;
    }
  }
  return 0;
}
