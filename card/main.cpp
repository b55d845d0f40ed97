#include "card/program.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "card/card.h"
#include "drawing/context.h"
#include "drawing/driver.h"
#include "runtime/facilities.h"
#include "screen/screen.h"
#include "system/startup.h"
#include "window/events.h"
#include "window/window.h"

namespace {

// Writes a bottom-up 24-bit section as a BMP file; false when it cannot.
bool WriteBmp(HBITMAP bitmap, const char* path) {
  DIBSECTION section = {};
  if (GetObjectW(bitmap, sizeof section, &section) != static_cast<int>(sizeof section) ||
      section.dsBm.bmBitsPixel != 24 || section.dsBm.bmBits == nullptr)
    return false;
  const auto rowBytes = static_cast<uint32_t>(section.dsBm.bmWidthBytes);
  const auto height = static_cast<uint32_t>(section.dsBm.bmHeight);
  const uint32_t imageBytes = rowBytes * height;
  unsigned char header[54] = {'B', 'M'};
  const auto put32 = [&header](int at, uint32_t value) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<unsigned char>(value >> (8 * i));
  };
  put32(2, 54 + imageBytes);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(section.dsBm.bmWidth));
  put32(22, height);  // positive: bottom-up, as the section's rows lie
  header[26] = 1;
  header[28] = 24;
  put32(34, imageBytes);
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(header, 1, sizeof header, file) == sizeof header &&
                       std::fwrite(section.dsBm.bmBits, 1, imageBytes, file) == imageBytes;
  return std::fclose(file) == 0 && written;
}

}  // namespace

bool CardFrame(int32_t frame, const char* savePath) {
  bool saved = true;
  if (DrawBegin(ScreenDrawTarget()) != nullptr) {
    CardDraw(frame);
    if (savePath != nullptr) {
      DrawContext* c = currentContext;
      auto* record = static_cast<ImageRecord*>(c->slots.CaptureImage(c, ObjectAny, 0, 0, CardWidth, CardHeight));
      saved = record != nullptr && WriteBmp(static_cast<HBITMAP>(record->handle), savePath);
      if (record != nullptr) ImageRelease(reinterpret_cast<ObjectId>(record));
    }
  } else {
    saved = savePath == nullptr;
  }
  DrawEnd();
  ScreenFlip();
  return saved;
}

int CardMain(int argc, char** argv) {
  // card [--save-frame N FILE]: writes frame N's picture as a 24-bit BMP
  // and ends after it.
  int32_t saveFrame = -1;
  const char* savePath = nullptr;
  if (argc == 4 && std::strcmp(argv[1], "--save-frame") == 0) {
    char* end = nullptr;
    const long n = std::strtol(argv[2], &end, 10);
    if (end != argv[2] && *end == 0 && n >= 0 && n <= 1000000) {
      saveFrame = static_cast<int32_t>(n);
      savePath = argv[3];
    }
  }
  if (argc != 1 && savePath == nullptr) {
    std::fprintf(stderr, "usage: card [--save-frame N FILE]  (N from 0 to 1000000; FILE a BMP to write)\n");
    return 2;
  }
  RuntimeStart(nullptr);
  bool failed = false;
  // The chain stops at the first failure; the program then ends quietly.
  if (ScreenSystemInit() != nullptr && WindowOpen(0, 0, 0, CardWidth, CardHeight, TEXT("Test card"), 0xCA0000) != 0 &&
      ScreenOpenInWindow(WindowNativeHandle(0), 0, 0, CardWidth, CardHeight, 0, 0, 0) != 0 && CardSetUp()) {
    for (int32_t frame = 0;; frame = frame == INT32_MAX ? 0 : frame + 1) {
      const bool saving = frame == saveFrame;
      if (!CardFrame(frame, saving ? savePath : nullptr)) {
        std::fprintf(stderr, "card: frame %d could not be written to %s\n", frame, savePath);
        failed = true;
        break;
      }
      if (saving) break;
      if ((GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0) break;
      if (WindowPollEvent() == EventCloseWindow) break;
    }
    CardTearDown();
  } else if (savePath != nullptr) {
    std::fprintf(stderr, "card: the window, screen or card could not be made\n");
    failed = true;
  }
  if (!failed) RuntimeEnd();
  RuntimeRelease();
  ExitProcess(1);
}
