// Writes the fuzz corpus: every format the BMP decoder reads, in every size
// the tests use, one file each, into the folder given.
#include <cstdio>

#include "support/bmp_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  for (const BmpSample& sample : BmpCorpus()) {
    const std::string path = std::string(argv[1]) + "/" + sample.name + ".bmp";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const size_t size = sample.file.size();
    const bool written = out != nullptr && std::fwrite(sample.file.data(), 1, size, out) == size;
    if (out == nullptr || std::fclose(out) != 0 || !written) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
