// Records how Windows GDI (as Wine draws it) combines a hatched brush with
// the source in each ternary raster operation: the pattern that steps
// combining it with the source read is offset from the destination's by
// twice the distance between the source and destination rectangles. Prints,
// for each operation, the result bit for every (pattern at the destination
// pixel, pattern at the offset pixel, source, destination) as bit
// p << 3 | q << 2 | s << 1 | d: the kPatternSteps table of
// platform/hosted/gdi/stretch.cpp.
// Build: x86_64-w64-mingw32-g++ -static -O1 -o probe.exe tools/pattern_step_probe.cpp -lgdi32
// Run: build/mingw-x86_64/wine-run.sh ./probe.exe
#include <windows.h>

#include <cstdio>
#include <initializer_list>

namespace {

HDC Section(int width, DWORD** bits) {
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(bits), nullptr, 0));
  return dc;
}

}  // namespace

int main() {
  DWORD *d = nullptr, *s = nullptr;
  HDC dst = Section(32, &d), src = Section(32, &s);
  // One white column in eight (column 4) on black.
  SelectObject(dst, CreateHatchBrush(HS_VERTICAL, RGB(255, 255, 255)));
  SetBkColor(dst, RGB(0, 0, 0));
  SetBrushOrgEx(dst, 0, 0, nullptr);
  for (int rop = 0; rop < 256; ++rop) {
    unsigned table = 0;
    // Rectangles 1 apart put the offset pattern 2 columns away, so the two
    // never meet; 4 apart puts it 8 away, onto the same columns.
    for (int apart : {1, 4}) {
      // Source bits 1100 and destination bits 1010: every pairing at once.
      for (int x = 0; x < 32; ++x) d[x] = 0x0A, s[x] = 0x0C;
      BitBlt(dst, 8 + apart, 0, 16, 1, src, 8, 0, static_cast<DWORD>(rop) << 16);
      GdiFlush();
      for (int x = 8 + apart; x < 24 + apart; ++x) {
        const unsigned p = (x & 7) == 4, q = ((x - 2 * apart) & 7) == 4;
        for (int bit = 0; bit < 4; ++bit)
          if ((d[x] >> bit) & 1) table |= 1u << (p << 3 | q << 2 | ((0x0C >> bit) & 1) << 1 | ((0x0A >> bit) & 1));
      }
    }
    std::printf("0x%04X,%s", table, rop % 8 == 7 ? "\n" : " ");
  }
  return 0;
}
