// Start-up and shutdown: the fixed order of the steps, what start-up leaves
// behind, the exit code, state records and the image decoder registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drawing/context.h"
#include "runtime/array.h"
#include "runtime/facilities.h"
#include "runtime/object.h"
#include "runtime/runtime.h"
#include "runtime/stringmap.h"
#include "support/test_support.h"
#include "system/startup.h"

namespace {

const signed char kProgramTables[] = {-1, 1, 0};

std::vector<std::string> steps;
void RecordStep(const char* name) { steps.emplace_back(name); }

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    steps.clear();
    RuntimeStepObserver = RecordStep;
  }
  void TearDown() override {
    RuntimeStepObserver = nullptr;
    if (MainHeap != nullptr) RuntimeRelease();
  }
};

TEST_F(Startup, RunsTheTwelveStepsThenTheElevenEndStepsInOrder) {
  RuntimeStart(kProgramTables);
  const std::vector<std::string> start = {
      "StringsInit",  "AuxHeapInit",  "ImageDecodersInit", "ImageDrawingInit",
      "ImagesInit",   "DrawContextInit", "ArraysInit",     "ControlsInit",
      "StringMapsInit", "PostedEventsInit", "WindowsInit", "BmpDecoderInit"};
  EXPECT_EQ(steps, start);

  steps.clear();
  RuntimeRelease();
  const std::vector<std::string> end = {
      "ScreenClose", "ScreenSystemEnd", "KeyboardEnd", "MouseEnd", "WindowsEnd", "PostedEventsEnd",
      "ControlsEnd", "ImagesEnd", "ImageDrawingEnd", "ScreenLibraryEnd", "AuxHeapEnd"};
  EXPECT_EQ(steps, end);
  EXPECT_EQ(MainHeap, nullptr);
  EXPECT_EQ(StringHeap, nullptr);
  EXPECT_EQ(AuxHeap, nullptr);
}

TEST_F(Startup, LeavesHeapsTablesAndRegistriesReady) {
  Globals.program[0] = 0x5A;
  RuntimeStart(kProgramTables);

  EXPECT_EQ(Globals.program[0], 0) << "the global block is zero-filled first";
  EXPECT_EQ(Globals.instance, GetModuleHandleW(nullptr));
  EXPECT_EQ(Globals.readPos, kProgramTables);
  ASSERT_NE(MainHeap, nullptr);
  ASSERT_NE(StringHeap, nullptr);
  ASSERT_NE(AuxHeap, nullptr);
  EXPECT_NE(MainHeap, StringHeap);
  EXPECT_NE(MainHeap, AuxHeap);
  EXPECT_NE(StringHeap, AuxHeap);
  ASSERT_NE(StringWork.block, nullptr);
  EXPECT_EQ(StringWork.capacity, 16);
  EXPECT_EQ(StringWork.fill, 0);

  EXPECT_EQ(ImageDecoders.count, 1);
  ASSERT_NE(ImageDecoders.table[0], nullptr);
  EXPECT_EQ(ImageDecoders.table[0]->tag, 0x00504D42u);
  EXPECT_NE(ImageDecoders.state, nullptr);

  EXPECT_NE(contextSlot, TLS_OUT_OF_INDEXES);
  EXPECT_EQ(TlsGetValue(contextSlot), nullptr);

  EXPECT_EQ(FieldHandlerTable.arrayAlloc, &ArrayAlloc);
  EXPECT_EQ(FieldHandlerTable.arrayAllocDims, &ArrayAllocDims);
  EXPECT_EQ(FieldHandlerTable.arrayCopy, &ArrayCopy);
  EXPECT_EQ(FieldHandlerTable.arrayFree, &ArrayFree);
  EXPECT_EQ(FieldHandlerTable.mapAlloc, &MapAlloc);
  EXPECT_EQ(FieldHandlerTable.mapCopy, &MapCopy);
  EXPECT_EQ(FieldHandlerTable.mapFree, &MapFree);
  EXPECT_EQ(FieldHandlerTable.listAlloc, nullptr);
  EXPECT_EQ(FieldHandlerTable.listCopy, nullptr);
  EXPECT_EQ(FieldHandlerTable.listFree, nullptr);

  ASSERT_NE(ImageTable, nullptr);
  EXPECT_EQ(ImageTable->recordSize, static_cast<int32_t>(sizeof(ImageRecord)));
  EXPECT_EQ(ImageTable->growStep, 16);
  EXPECT_EQ(ImageTable->freeCallback, &ImageRelease);
  ASSERT_NE(ControlTable, nullptr);
  EXPECT_EQ(ControlTable->recordSize, static_cast<int32_t>(sizeof(ControlRecord)));
  EXPECT_EQ(ControlTable->slotCount, 50);
  ASSERT_NE(Controls, nullptr);
  EXPECT_EQ(DefaultControlFont, GetStockObject(DEFAULT_GUI_FONT));
  EXPECT_EQ(Controls->font, DefaultControlFont) << "the controls' initialiser ran";

  EXPECT_EQ(ImageDrawing.alphaBlend != nullptr, ImageDrawing.msimg32 != nullptr);
  EXPECT_TRUE(ImageDrawing.themed == 0 || ImageDrawing.themed == 1);
}

TEST_F(Startup, EndStepsFindIdleFacilitiesAndReleaseNothing) {
  RuntimeStart(kProgramTables);
  static int frees;
  frees = 0;
  ObjectTable* table = ObjectTableNew(8, 4, [](ObjectId) -> int32_t { return ++frees; });
  ASSERT_NE(table, nullptr);
  ObjectFreeAll(table);
  EXPECT_EQ(frees, 0);
  RuntimeRelease();
  EXPECT_EQ(MainHeap, nullptr);
}

TEST(StartupExit, EndsTheProcessWithExitCodeZero) {
  EXPECT_EXIT(
      {
        RuntimeStart(kProgramTables);
        RuntimeEnd();
      },
      ::testing::ExitedWithCode(0), "");
}

// ---- state records ----------------------------------------------------------

class StateRecords : public RuntimeHeapsTest {};

int initialiserCalls;
void* initialisedRecord;
int finaliserCalls;

TEST_F(StateRecords, AreZeroFilledInitialisedOnceAndNeverFinalised) {
  initialiserCalls = finaliserCalls = 0;
  initialisedRecord = nullptr;
  // Dirty a block of the same size so that a reused block would show.
  void* dirty = HeapAlloc(MainHeap, 0, 40);
  ASSERT_NE(dirty, nullptr);
  std::memset(dirty, 0xEE, 40);
  HeapFree(MainHeap, 0, dirty);

  auto* record = static_cast<unsigned char*>(StateRecordNew(
      40,
      [](void* r) {
        ++initialiserCalls;
        initialisedRecord = r;
        for (int i = 0; i < 40; ++i) EXPECT_EQ(static_cast<unsigned char*>(r)[i], 0);
      },
      [](void*) { ++finaliserCalls; }));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(initialiserCalls, 1);
  EXPECT_EQ(initialisedRecord, record);
  EXPECT_EQ(finaliserCalls, 0);
  EXPECT_EQ(StateRecordGet(record), record);
  EXPECT_EQ(HeapSize(MainHeap, 0, record), 40u);

  EXPECT_NE(StateRecordNew(76, nullptr, nullptr), nullptr);
}

// ---- image decoder registry and the BMP decoder -----------------------------

class ImageDecoderRegistryTest : public RuntimeHeapsTest {
 protected:
  void SetUp() override {
    RuntimeHeapsTest::SetUp();
    ImageDecodersInit();
  }
};

TEST_F(ImageDecoderRegistryTest, HoldsThirtyDecodersAndRefusesMore) {
  static ImageDecoder decoders[ImageDecoderCapacity + 1];
  BmpDecoderInit();
  EXPECT_EQ(ImageDecoders.count, 1);
  for (int i = 1; i < ImageDecoderCapacity; ++i) RegisterImageDecoder(&decoders[i]);
  EXPECT_EQ(ImageDecoders.count, ImageDecoderCapacity);
  EXPECT_EQ(ImageDecoders.table[ImageDecoderCapacity - 1], &decoders[ImageDecoderCapacity - 1]);
  RegisterImageDecoder(&decoders[ImageDecoderCapacity]);
  EXPECT_EQ(ImageDecoders.count, ImageDecoderCapacity);
}

// A bitmap file image: 14-byte file header, 40-byte info header, palette, rows.
std::vector<unsigned char> MakeBmp(int width, int height, int bpp, const std::vector<unsigned char>& palette,
                                   const std::vector<unsigned char>& rows) {
  std::vector<unsigned char> file(54 + palette.size());
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(54 + palette.size() + rows.size()));
  put32(10, static_cast<uint32_t>(54 + palette.size()));
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  file[26] = 1;
  file[28] = static_cast<unsigned char>(bpp);
  put32(46, static_cast<uint32_t>(palette.size() / 4));
  std::copy(palette.begin(), palette.end(), file.begin() + 54);
  file.insert(file.end(), rows.begin(), rows.end());
  return file;
}

TEST_F(ImageDecoderRegistryTest, BmpDecoderReadsBottomUpTopDownAndPalettedImages) {
  BmpDecoderInit();
  ImageDecoder* bmp = ImageDecoders.table[0];
  ASSERT_NE(bmp, nullptr);

  // 2 x 2, 24 bits, bottom-up: the first stored row is the bottom one.
  const std::vector<unsigned char> rows24 = {
      0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0, 0,  // bottom: red, green, padding
      0xFF, 0x00, 0x00, 0x10, 0x20, 0x30, 0, 0,  // top: blue, (0x30, 0x20, 0x10)
  };
  auto file = MakeBmp(2, 2, 24, {}, rows24);
  OpenedImage* image = bmp->open(file.data(), static_cast<int32_t>(file.size()));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 2);
  EXPECT_EQ(image->height, 2);
  uint32_t pixels[4] = {};
  ASSERT_EQ(bmp->decode(image, pixels, 8), 1);
  EXPECT_EQ(pixels[0], 0x000000FFu);
  EXPECT_EQ(pixels[1], 0x00302010u);
  EXPECT_EQ(pixels[2], 0x00FF0000u);
  EXPECT_EQ(pixels[3], 0x0000FF00u);
  EXPECT_EQ(bmp->decode(image, pixels, 4), 0) << "a pitch narrower than a row is refused";
  bmp->release(image);

  // 3 x 1, 8 bits with a two-colour palette, top-down (negative height).
  const std::vector<unsigned char> palette = {0x11, 0x22, 0x33, 0, 0xAA, 0xBB, 0xCC, 0};
  auto paletted = MakeBmp(3, -1, 8, palette, {1, 0, 7, 0});
  image = bmp->open(paletted.data(), static_cast<int32_t>(paletted.size()));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->height, 1);
  uint32_t row[3] = {};
  ASSERT_EQ(bmp->decode(image, row, 12), 1);
  EXPECT_EQ(row[0], 0x00CCBBAAu);
  EXPECT_EQ(row[1], 0x00332211u);
  EXPECT_EQ(row[2], 0u) << "an index past the palette reads as black";
  bmp->release(image);
}

TEST_F(ImageDecoderRegistryTest, BmpDecoderRejectsDamagedFiles) {
  BmpDecoderInit();
  ImageDecoder* bmp = ImageDecoders.table[0];
  auto file = MakeBmp(2, 2, 24, {}, std::vector<unsigned char>(16, 0));
  EXPECT_EQ(bmp->open(nullptr, 100), nullptr);
  EXPECT_EQ(bmp->open(file.data(), 20), nullptr) << "shorter than the headers";
  EXPECT_EQ(bmp->open(file.data(), static_cast<int32_t>(file.size() - 1)), nullptr) << "pixels cut short";
  auto wrongMagic = file;
  wrongMagic[0] = 'X';
  EXPECT_EQ(bmp->open(wrongMagic.data(), static_cast<int32_t>(wrongMagic.size())), nullptr);
  auto compressed = file;
  compressed[30] = 1;  // run-length encoded
  EXPECT_EQ(bmp->open(compressed.data(), static_cast<int32_t>(compressed.size())), nullptr);
  auto hugeWidth = file;
  hugeWidth[21] = 0x7F;
  EXPECT_EQ(bmp->open(hugeWidth.data(), static_cast<int32_t>(hugeWidth.size())), nullptr);
  auto badOffset = file;
  badOffset[13] = 0x40;
  EXPECT_EQ(bmp->open(badOffset.data(), static_cast<int32_t>(badOffset.size())), nullptr);
}

// One top-down row of 16- or 32-bit pixels with BI_BITFIELDS masks, in the
// header when it is 52 bytes or more, after it otherwise.
std::vector<unsigned char> MaskedBmp(uint32_t headerSize, int bpp, const std::vector<uint32_t>& masks,
                                     const std::vector<uint32_t>& pixels) {
  const uint32_t maskBytes = headerSize >= 52 ? 0 : 4 * static_cast<uint32_t>(masks.size());
  const uint32_t offset = 14 + headerSize + maskBytes;
  std::vector<unsigned char> file(offset + (pixels.size() * bpp / 8 + 3) / 4 * 4);
  auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put(10, offset, 4);
  put(14, headerSize, 4);
  put(18, static_cast<uint32_t>(pixels.size()), 4);
  put(22, static_cast<uint32_t>(-1), 4);
  file[26] = 1;
  file[28] = static_cast<unsigned char>(bpp);
  file[30] = 3;
  for (size_t i = 0; i < masks.size(); ++i) put(headerSize >= 52 ? 54 + 4 * i : 14 + headerSize + 4 * i, masks[i], 4);
  for (size_t i = 0; i < pixels.size(); ++i) put(offset + i * bpp / 8, pixels[i], bpp / 8);
  return file;
}

// Expected colours as GDI shows these pixels (seen under Wine): narrow fields
// repeat their top bits once, wide ones keep their top 8.
TEST_F(ImageDecoderRegistryTest, BmpDecoderReadsPixelsThroughAnyContiguousMasks) {
  BmpDecoderInit();
  ImageDecoder* bmp = ImageDecoders.table[0];
  const struct {
    const char* name;
    uint32_t headerSize;
    int bpp;
    std::vector<uint32_t> masks, pixels, expected;
  } cases[] = {
      {"16-bit 4-4-4", 40, 16, {0x0F00, 0x00F0, 0x000F}, {0x0F00, 0x00F0, 0x000F, 0x0821},
       {0xFF0000, 0x00FF00, 0x0000FF, 0x882211}},
      {"16-bit 5-6-5", 40, 16, {0xF800, 0x07E0, 0x001F}, {0x8410, 0x7BEF, 0x0821}, {0x848284, 0x7B7D7B, 0x080408}},
      {"16-bit 1-2-3", 40, 16, {0x0001, 0x0006, 0x0038}, {0x0001, 0x0002, 0x0018, 0x003F},
       {0xC00000, 0x005000, 0x00006C, 0xC0F0FC}},
      {"32-bit red and blue swapped", 40, 32, {0x0000FF, 0x00FF00, 0xFF0000}, {0x123456, 0xFF000000u},
       {0x563412, 0x000000}},
      {"32-bit 10-10-10", 40, 32, {0x3FF00000, 0x000FFC00, 0x000003FF}, {0x20080200, 0x1FF7FDFF, 0xC0000000u},
       {0x808080, 0x7F7F7F, 0x000000}},
      {"32-bit masks in a 56-byte header", 56, 32, {0x0000FF, 0x00FF00, 0xFF0000}, {0x123456}, {0x563412}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto file = MaskedBmp(c.headerSize, c.bpp, c.masks, c.pixels);
    OpenedImage* image = bmp->open(file.data(), static_cast<int32_t>(file.size()));
    ASSERT_NE(image, nullptr);
    std::vector<uint32_t> row(c.pixels.size(), 0xDEADBEEF);
    ASSERT_EQ(bmp->decode(image, row.data(), static_cast<int32_t>(4 * row.size())), 1);
    EXPECT_EQ(row, c.expected);
    bmp->release(image);
  }

  // Without masks of its own a 16-bit image is 5-5-5.
  auto plain = MakeBmp(3, 1, 16, {}, {0x10, 0x42, 0xEF, 0x3D, 0x00, 0x80, 0, 0});
  OpenedImage* image = bmp->open(plain.data(), static_cast<int32_t>(plain.size()));
  ASSERT_NE(image, nullptr);
  uint32_t row[3] = {};
  ASSERT_EQ(bmp->decode(image, row, 12), 1);
  EXPECT_EQ(std::vector<uint32_t>(row, row + 3), (std::vector<uint32_t>{0x848484, 0x7B7B7B, 0}));
  bmp->release(image);

  // Masks that name no single run of a pixel's bits are refused, never read
  // as wrong colours, and so are masks on pixels that cannot have them.
  const struct {
    const char* name;
    int bpp;
    std::vector<uint32_t> masks;
  } refused[] = {
      {"a gap in red", 16, {0x0A00, 0x00F0, 0x000F}},   {"a gap in blue", 32, {0xFF0000, 0xFF00, 0x8001}},
      {"no green", 16, {0x0F00, 0, 0x000F}},            {"red past 16 bits", 16, {0x1F0000, 0x00F0, 0x000F}},
      {"masks on 24 bits", 24, {0xFF0000, 0xFF00, 0xFF}}, {"masks cut short", 16, {0x0F00, 0x00F0}},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    auto file = MaskedBmp(40, c.bpp, c.masks, {0, 0});
    EXPECT_EQ(bmp->open(file.data(), static_cast<int32_t>(file.size())), nullptr);
  }
}

// ---- idle facilities ----------------------------------------------------------

struct FakeDevice {
  std::vector<std::string>* calls;
  const char* name;
};
std::vector<std::string> deviceCalls;
const InputDeviceOps kFakeOps = {
    [](void* d) { deviceCalls.push_back(std::string(static_cast<FakeDevice*>(d)->name) + ".Unacquire"); },
    [](void* d) { deviceCalls.push_back(std::string(static_cast<FakeDevice*>(d)->name) + ".Release"); },
};

TEST(InputDevices, EndStepsReleaseOpenedDevicesAndTheSharedObjectLast) {
  deviceCalls.clear();
  KeyboardEnd();
  MouseEnd();
  EXPECT_TRUE(deviceCalls.empty()) << "no device was opened";

  FakeDevice keyboard{&deviceCalls, "keyboard"}, mouse{&deviceCalls, "mouse"};
  static int sharedObject;
  Keyboard = {&keyboard, &kFakeOps};
  Mouse = {&mouse, &kFakeOps};
  DirectInputShared = {2, &sharedObject, [](void*) { deviceCalls.push_back("input.Release"); }, nullptr};
  KeyboardEnd();
  EXPECT_EQ(DirectInputShared.users, 1);
  MouseEnd();
  const std::vector<std::string> expected = {"keyboard.Unacquire", "keyboard.Release", "mouse.Release",
                                             "input.Release"};
  EXPECT_EQ(deviceCalls, expected);
  EXPECT_EQ(Keyboard.device, nullptr);
  EXPECT_EQ(Mouse.device, nullptr);
  EXPECT_EQ(DirectInputShared.object, nullptr);
}

class Images : public RuntimeHeapsTest {};

TEST_F(Images, ReleaseForgetsTheImageEvenWhenItsHandleIsGone) {
  ImagesInit();
  ASSERT_NE(ImageTable, nullptr);
  auto* image = static_cast<ImageRecord*>(ObjectAlloc(ImageTable, 3));
  ASSERT_NE(image, nullptr);
  image->handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7AB0));  // no such bitmap or icon
  ASSERT_EQ(ObjectGet(ImageTable, 3), image);
  EXPECT_EQ(ImageRelease(3), 1);
  EXPECT_EQ(ObjectGet(ImageTable, 3), nullptr);
  EXPECT_EQ(ImageRelease(3), 0) << "a freed image is not released twice";
  EXPECT_EQ(ImageRelease(ObjectAny), 1);
}

}  // namespace
