// Where clang's libFuzzer is missing: the fuzz target driven by a plain
// loop that damages corpus files again and again (one to four damages
// stacked), for the seconds given. A crash or sanitizer report ends it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "support/bmp_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SECONDS CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  std::vector<std::vector<uint8_t>> corpus;
  for (const auto& entry : std::filesystem::directory_iterator(argv[2])) {
    std::ifstream in(entry.path(), std::ios::binary);
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "no corpus in %s\n", argv[2]);
    return 1;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[1]));
  std::mt19937 random(1);
  unsigned long long runs = 0;
  while (std::chrono::steady_clock::now() < end) {
    for (int batch = 0; batch < 64; ++batch, ++runs) {
      std::vector<uint8_t> file = corpus[random() % corpus.size()];
      for (unsigned damages = 1 + random() % 4; damages > 0 && !file.empty(); --damages)
        file = DamageBmp(file, static_cast<uint32_t>(random())).file;
      LLVMFuzzerTestOneInput(file.data(), file.size());
    }
  }
  std::printf("%llu runs from %zu corpus files\n", runs, corpus.size());
  return 0;
}
