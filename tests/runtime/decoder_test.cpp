// The path from a file image to pixels: the decoder registry's ImageDecode
// over the BMP decoder, with every format written by bmp_writer, hand-made
// run-length streams, damaged files and hostile sizes.
#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <vector>

#include "runtime/facilities.h"
#include "runtime/runtime.h"
#include "support/bmp_writer.h"
#include "support/test_support.h"

namespace {

class ImageDecoding : public RuntimeHeapsTest {
 protected:
  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    ImageDecodersInit();
    BmpDecoderInit();
  }
  void TearDown() override {
    ImageDecodeMaxPixels = int64_t{1} << 26;
    RuntimeHeapsTest::TearDown();
  }

  // The decoded pixels, empty when the file is refused. Every pixel of an
  // image must be written: decoders leave the top byte 0, the heap's fresh
  // blocks need not.
  std::vector<uint32_t> Decode(const std::vector<uint8_t>& file, int32_t* width = nullptr, int32_t* height = nullptr) {
    int32_t w = -1, h = -1;
    uint32_t* pixels = ::ImageDecode(file.data(), static_cast<int32_t>(file.size()), &w, &h);
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    if (pixels == nullptr) {
      EXPECT_EQ(w, 0);
      EXPECT_EQ(h, 0);
      return {};
    }
    std::vector<uint32_t> copy(pixels, pixels + int64_t{w} * h);
    HeapFree(MainHeap, 0, pixels);
    for (uint32_t pixel : copy) EXPECT_EQ(pixel >> 24, 0u) << "a pixel was not written";
    return copy;
  }
};

TEST_F(ImageDecoding, ShowsEveryWrittenFormatAsItWasMeant) {
  const std::vector<BmpSample> corpus = BmpCorpus();
  ASSERT_GE(corpus.size(), 100u);
  for (const BmpSample& sample : corpus) {
    SCOPED_TRACE(sample.name);
    int32_t width, height;
    EXPECT_EQ(Decode(sample.file, &width, &height), sample.pixels);
    EXPECT_EQ(width, sample.width);
    EXPECT_EQ(height, sample.height);
  }
}

// A 4 x 2 image of 8 or 4 bits, bottom-up, from run-length data; the
// colour table has four entries. Expected: the top row, then the bottom
// one; a digit is that table entry, '.' black.
std::vector<uint8_t> RunFile(int bpp, const std::vector<uint8_t>& runs) {
  std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 70, 0, 0, 0, 40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 1, 0,
                               static_cast<uint8_t>(bpp), 0, static_cast<uint8_t>(bpp == 8 ? 1 : 2)};
  file.resize(54);
  file[46] = 4;  // colours used
  for (uint8_t entry = 1; entry <= 4; ++entry) file.insert(file.end(), {entry, entry, entry, 0});
  file.insert(file.end(), runs.begin(), runs.end());
  return file;
}

TEST_F(ImageDecoding, FollowsRunsEscapesAndTheirEdges) {
  const struct {
    const char* name;
    int bpp;
    std::vector<uint8_t> runs;
    const char* expected;
  } cases[] = {
      {"a run, end of line, a run", 8, {2, 1, 0, 0, 3, 2, 0, 1}, "222.11.."},
      {"literal runs padded to even bytes", 8, {0, 3, 1, 2, 3, 0, 1, 0, 0, 0, 0, 4, 3, 2, 1, 0, 0, 1}, "32101230"},
      {"a move right and up", 8, {1, 1, 0, 2, 1, 1, 1, 2, 0, 1}, "..2.1..."},
      {"a run past the right edge is cut, not wrapped", 8, {6, 1, 0, 1}, "....1111"},
      {"a move past the top ends the image", 8, {1, 1, 0, 2, 0, 5, 1, 2, 0, 1}, "....1..."},
      {"a move past the right edge stays there", 8, {0, 2, 200, 0, 2, 3, 0, 0, 1, 3, 0, 1}, "3......."},
      {"data without an end of bitmap", 8, {2, 3}, "....33.."},
      {"a literal run cut short by the data's end", 8, {1, 1, 0, 5, 2, 2}, "....1..."},
      {"a move cut short", 8, {1, 1, 0, 2, 1}, "....1..."},
      {"indices past the colour table are black", 8, {2, 9, 2, 3}, "......33"},
      {"4 bits: a run alternates its two indices", 4, {4, 0x12, 0, 0, 3, 0x30, 0, 1}, "303.1212"},
      {"4 bits: literal runs and their padding", 4, {0, 3, 0x12, 0x30, 1, 0x20, 0, 0, 0, 5, 0x01, 0x23, 0x00, 0, 0, 1},
       "01231232"},
      {"4 bits: an odd run past the edge", 4, {7, 0x21, 0, 1}, "....2121"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint32_t> expected;
    for (const char* p = c.expected; *p != 0; ++p) expected.push_back(*p == '.' ? 0 : (*p - '0' + 1) * 0x010101u);
    EXPECT_EQ(Decode(RunFile(c.bpp, c.runs)), expected);
  }
}

// A few hundred damaged copies of the corpus: each is refused or gives a
// whole image of a size the file could state; uncompressed pixels cut short
// are always refused, encoded ones end the image. The sanitizer lanes watch
// every read.
TEST_F(ImageDecoding, DamagedFilesGiveNullOrAWholeImage) {
  int refused = 0, decoded = 0;
  for (const BmpSample& sample : BmpCorpus()) {
    if (sample.width * sample.height < 20) continue;
    for (uint32_t seed = 0; seed < 8; ++seed) {
      const DamagedBmp damaged = DamageBmp(sample.file, seed * 7919 + sample.width);
      SCOPED_TRACE(sample.name + " seed " + std::to_string(seed));
      int32_t width, height;
      const bool ok = !Decode(damaged.file, &width, &height).empty();
      (ok ? decoded : refused) += 1;
      if (ok) {
        EXPECT_TRUE(width > 0 && height > 0 && width <= 32768 && height <= 32768);
      }
      if (damaged.damage == BmpDamage::Truncated && !sample.encoded) {
        EXPECT_FALSE(ok);
      }
    }
    // Encoded data cut after every byte, its size in the header cleared:
    // escapes and literal runs lose their operands, and the image ends there.
    if (!sample.encoded) continue;
    std::vector<uint8_t> whole = sample.file;
    whole[34] = whole[35] = whole[36] = whole[37] = 0;
    for (size_t cut = whole[10] | whole[11] << 8; cut < whole.size(); ++cut) {
      const std::vector<uint8_t> file(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut));
      SCOPED_TRACE(sample.name + " cut at " + std::to_string(cut));
      EXPECT_FALSE(Decode(file).empty());
    }
  }
  EXPECT_GE(refused + decoded, 300);
  EXPECT_GT(refused, 0);
  EXPECT_GT(decoded, 0);
}

TEST_F(ImageDecoding, RefusesWhatItWouldHaveToAllocateTooMuchFor) {
  // A 32768 x 32768 run-length file of 66 bytes: the end-of-bitmap escape.
  std::vector<uint8_t> huge = RunFile(8, {0, 1});
  huge[19] = 0x80;
  huge[23] = 0x80;
  EXPECT_TRUE(Decode(huge).empty());

  // The bound is on pixels: 4 x 2 is refused under 8 and taken at 8.
  ImageDecodeMaxPixels = 7;
  EXPECT_TRUE(Decode(RunFile(8, {0, 1})).empty());
  ImageDecodeMaxPixels = 8;
  EXPECT_EQ(Decode(RunFile(8, {0, 1})).size(), 8u);

  // No decoder, no image.
  ImageDecodersInit();
  EXPECT_TRUE(Decode(RunFile(8, {0, 1})).empty());
}

}  // namespace

namespace {

// Files loaded into the image table: each a 32-bit section showing the
// file's pixels, under a new dynamic number (the record) or a chosen one
// (the bitmap); a file no decoder takes registers nothing.
TEST_F(ImageDecoding, LoadedFilesBecomeRegisteredSections) {
  // A table of this test's heap; the heap and the table end with the test.
  ImagesInit();
  const std::vector<BmpSample> corpus = BmpCorpus();
  for (size_t i = 0; i < corpus.size(); i += 7) {
    const BmpSample& sample = corpus[i];
    SCOPED_TRACE(sample.name);
    const auto size = static_cast<int32_t>(sample.file.size());
    auto* record = static_cast<ImageRecord*>(ImageLoad(ObjectAny, sample.file.data(), size));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(ObjectGet(ImageTable, reinterpret_cast<ObjectId>(record)), record);
    EXPECT_EQ(std::vector<int32_t>({record->width, record->height, record->depth}),
              std::vector<int32_t>({sample.width, sample.height, 32}));
    BITMAP bitmap = {};
    ASSERT_EQ(GetObjectW(record->handle, sizeof bitmap, &bitmap), static_cast<int>(sizeof bitmap));
    ASSERT_NE(bitmap.bmBits, nullptr);
    const auto* pixels = static_cast<const uint32_t*>(bitmap.bmBits);
    EXPECT_EQ(std::vector<uint32_t>(pixels, pixels + sample.pixels.size()), sample.pixels);
    ImageRelease(reinterpret_cast<ObjectId>(record));

    auto handle = static_cast<HANDLE>(ImageLoad(7, sample.file.data(), size));
    ASSERT_NE(handle, nullptr);
    ASSERT_NE(ObjectGet(ImageTable, 7), nullptr);
    EXPECT_EQ(static_cast<ImageRecord*>(ObjectGet(ImageTable, 7))->handle, handle);
    ImageRelease(7);
  }
  // From disk: the first sample written to a file in the working
  // directory; a missing file, a directory and a garbage file register
  // nothing.
  const BmpSample& first = corpus.front();
  const uint8_t garbage[] = {'B', 'M', 1, 2, 3};
  const auto write = [](const char* name, const void* data, size_t size) {
    std::FILE* out = std::fopen(name, "wb");
    const bool written = out != nullptr && std::fwrite(data, 1, size, out) == size;
    return out != nullptr && std::fclose(out) == 0 && written;
  };
  ASSERT_TRUE(write("image-load-test.bmp", first.file.data(), first.file.size()));
  ASSERT_TRUE(write("image-load-garbage.bmp", garbage, sizeof garbage));
  auto* loaded = static_cast<ImageRecord*>(ImageLoadFile(ObjectAny, TEXT("image-load-test.bmp")));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(std::vector<int32_t>({loaded->width, loaded->height}), std::vector<int32_t>({first.width, first.height}));
  BITMAP bitmap = {};
  ASSERT_EQ(GetObjectW(loaded->handle, sizeof bitmap, &bitmap), static_cast<int>(sizeof bitmap));
  const auto* pixels = static_cast<const uint32_t*>(bitmap.bmBits);
  EXPECT_EQ(std::vector<uint32_t>(pixels, pixels + first.pixels.size()), first.pixels);
  ImageRelease(reinterpret_cast<ObjectId>(loaded));
  EXPECT_EQ(ImageLoadFile(9, TEXT("image-load-missing.bmp")), nullptr);
  EXPECT_EQ(ImageLoadFile(9, TEXT(".")), nullptr);
  EXPECT_EQ(ImageLoadFile(9, TEXT("image-load-garbage.bmp")), nullptr);
  EXPECT_EQ(ImageLoadFile(9, nullptr), nullptr);
  EXPECT_EQ(ObjectGet(ImageTable, 9), nullptr);
  std::remove("image-load-test.bmp");
  std::remove("image-load-garbage.bmp");
  EXPECT_EQ(ImageLoad(8, garbage, sizeof garbage), nullptr);
  EXPECT_EQ(ImageLoad(ObjectAny, nullptr, 0), nullptr);
  EXPECT_EQ(ObjectGet(ImageTable, 8), nullptr);
  ImagesEnd();
  ImageTable = nullptr;
}

}  // namespace
