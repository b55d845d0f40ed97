// Records what Windows GDI (as Wine answers it, with the same font files)
// gives for scalable fonts: text metrics, face name, whether text is drawn
// with grey levels, character widths, a text extent, the underline and
// strike-out lines and the pictures of a few characters, as the initialisers
// of tests/hosted/scalable_font_cases.inc.
// Built and run under wine64 by scripts/record-scalable-fonts.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/hosted/vdmx_font.h"

struct Case {
  const wchar_t* face;
  const char* file;
  int height, width, escapement, weight, italic, underline, strikeOut, quality;
  int charSet;
};

static const wchar_t kGlyphs[] = L"AaWg1@\xe9\xe000\x20ac\x3b1";

static std::string Rle(const std::vector<int>& levels) {
  // Levels as 'a'+level for ink, runs of blanks as decimal counts.
  std::string out;
  size_t i = 0;
  while (i < levels.size()) {
    if (levels[i] == 0) {
      size_t j = i;
      while (j < levels.size() && levels[j] == 0) ++j;
      out += std::to_string(j - i);
      i = j;
    } else {
      out += char('a' + levels[i] - 1);
      ++i;
    }
  }
  return out;
}

int main() {
  printf(
      "// What GDI answers for each scalable font request of scalable_font_test.cpp,\n"
      "// taken under Wine by scripts/record-scalable-fonts (tools/scalable_font_probe.cpp).\n"
      "// Generated: do not edit by hand.\n");
  std::vector<Case> cases;
  const char* regular = "tahoma.ttf";
  const char* bold = "tahomabd.ttf";
  for (int h : {0, 9, 11, 13, 16, 20, 24, 28, -9, -11, -13, -16, -20, -24, -28})
    cases.push_back({L"Tahoma", regular, h, 0, 0, 400, 0, 0, 0, 0});
  for (int h : {-11, 16, -24}) cases.push_back({L"Tahoma", bold, h, 0, 0, 700, 0, 0, 0, 0});
  for (int h : {-11, 16, -24}) cases.push_back({L"Tahoma", regular, h, 0, 0, 400, 1, 0, 0, 0});
  for (int h : {-13, 20}) cases.push_back({L"Tahoma", bold, h, 0, 0, 700, 1, 0, 0, 0});
  for (int e = 0; e < 3600; e += 150) cases.push_back({L"Tahoma", regular, -16, 0, e, 400, 0, 0, 0, 0});
  for (int e : {300, 1350}) cases.push_back({L"Tahoma", regular, 24, 0, e, 400, 0, 0, 0, 0});
  cases.push_back({L"Tahoma", bold, -20, 0, 450, 700, 1, 0, 0, 0});
  for (int q : {NONANTIALIASED_QUALITY, ANTIALIASED_QUALITY, CLEARTYPE_QUALITY})
    for (int h : {-11, -16, -24}) cases.push_back({L"Tahoma", regular, h, 0, 0, 400, 0, 0, 0, q});
  cases.push_back({L"Tahoma", regular, 16, 5, 0, 400, 0, 0, 0, 0});
  cases.push_back({L"Tahoma", regular, -20, 14, 0, 400, 0, 0, 0, 0});
  cases.push_back({L"Tahoma", regular, -16, 0, 0, 400, 0, 1, 1, 0});
  cases.push_back({L"DejaVu Sans", "DejaVuSans.ttf", -16, 0, 0, 400, 0, 0, 0, 0});
  cases.push_back({L"DejaVu Sans", "DejaVuSans.ttf", 20, 0, 0, 400, 0, 0, 0, ANTIALIASED_QUALITY});
  cases.push_back({L"DejaVu Sans Mono", "DejaVuSansMono.ttf", -13, 0, 0, 400, 0, 0, 0, 0});
  cases.push_back({L"DejaVu Sans Light", "DejaVuSans-ExtraLight.ttf", -16, 0, 0, 700, 0, 0, 0, 0});
  cases.push_back({L"DejaVu Sans Light", "DejaVuSans-ExtraLight.ttf", -20, 0, 600, 700, 1, 0, 0, 0});
  // Symbol fonts: their character set and character map.
  cases.push_back({L"Wingdings", "wingding.ttf", -16, 0, 0, 400, 0, 0, 0, 0, DEFAULT_CHARSET});
  cases.push_back({L"Webdings", "webdings.ttf", 20, 0, 0, 400, 0, 0, 0, 0, SYMBOL_CHARSET});
  cases.push_back({L"Marlett", "marlett.ttf", -13, 0, 0, 400, 0, 0, 0, 0, SYMBOL_CHARSET});
  cases.push_back({L"Symbol", "symbol.ttf", -16, 0, 0, 400, 0, 0, 0, 0, ANSI_CHARSET});
  // Sizes chosen by a VDMX table: a private variant of Tahoma that has one.
  FILE* in = fopen("C:\\windows\\Fonts\\tahoma.ttf", "rb");
  std::vector<uint8_t> font;
  for (int c; in != nullptr && (c = fgetc(in)) != EOF;) font.push_back(static_cast<uint8_t>(c));
  if (in != nullptr) fclose(in);
  FILE* out = MakeVdmxFont(font) ? fopen("tahomv.ttf", "wb") : nullptr;
  if (out == nullptr || fwrite(font.data(), 1, font.size(), out) != font.size() || fclose(out) != 0 ||
      AddFontResourceExW(L"tahomv.ttf", FR_PRIVATE, nullptr) == 0) {
    fprintf(stderr, "cannot make the VDMX variant of Tahoma\n");
    return 1;
  }
  for (int h : {11, 14, 16, 20, 24, 33, -11, -12, -16, -20, -33})
    cases.push_back({L"Tahomv", "tahoma.ttf:vdmx", h, 0, 0, 400, 0, 0, 0, 0});

  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 400;
  bi.bmiHeader.biHeight = -200;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  SelectObject(dc, dib);
  for (const Case& c : cases) {
    LOGFONTW lf = {};
    lf.lfHeight = c.height;
    lf.lfWidth = c.width;
    lf.lfEscapement = lf.lfOrientation = c.escapement;
    lf.lfWeight = c.weight;
    lf.lfItalic = c.italic;
    lf.lfUnderline = c.underline;
    lf.lfStrikeOut = c.strikeOut;
    lf.lfQuality = c.quality;
    lf.lfCharSet = c.charSet;
    lstrcpyW(lf.lfFaceName, c.face);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    wchar_t face[64] = {};
    GetTextFaceW(dc, 64, face);
    DWORD fileSize = GetFontData(dc, 0, 0, nullptr, 0);
    // Grey levels or not: black text on white, looking for grey pixels.
    memset(bits, 0xff, 400 * 200 * 4);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 100, 100, L"AaWg1@", 6);
    int grey = 0, coloured = 0;
    for (int i = 0; i < 400 * 200; ++i) {
      DWORD p = static_cast<DWORD*>(bits)[i] & 0xffffff;
      if (p != 0 && p != 0xffffff) ++grey;
      if (((p >> 16) & 0xff) != (p & 0xff)) ++coloured;
    }
    bool aa = grey > 0;
    printf(
        "    {{\"%s\", %ld, %ld, %ld, %ld, %d, %d, %d, %d, %d}, // %ls, face %ls, file size %lu, grey %d, coloured "
        "%d\n",
        c.file, lf.lfHeight, lf.lfWidth, lf.lfEscapement, lf.lfWeight, c.italic, c.underline, c.strikeOut, c.quality,
        c.charSet, c.face, face, (unsigned long)fileSize, grey, coloured);
    printf("     {%ld, %ld, %ld, %ld, %ld, %ld, %ld, %ld, %ld, %ld, %ld, %u, %u, %u, %u, %u, %u, %u, 0x%02x, %u},\n",
           tm.tmHeight, tm.tmAscent, tm.tmDescent, tm.tmInternalLeading, tm.tmExternalLeading, tm.tmAveCharWidth,
           tm.tmMaxCharWidth, tm.tmWeight, tm.tmOverhang, tm.tmDigitizedAspectX, tm.tmDigitizedAspectY, tm.tmFirstChar,
           tm.tmLastChar, tm.tmDefaultChar, tm.tmBreakChar, tm.tmItalic, tm.tmUnderlined, tm.tmStruckOut,
           tm.tmPitchAndFamily, tm.tmCharSet);
    printf("     \"%ls\", %s,\n", face, aa ? "true" : "false");
    // Advances of the printable ASCII and Latin-1 characters.
    INT widths[256] = {};
    GetCharWidth32W(dc, 0, 255, widths);
    printf("     {");
    for (int ch = 32; ch < 256; ++ch) printf("%d%s", widths[ch], ch == 255 ? "" : ",");
    printf("},\n");
    SIZE extent = {};
    GetTextExtentPoint32W(dc, L"Hello, World", 12, &extent);
    printf("     {%ld, %ld},\n", extent.cx, extent.cy);
    // Where underlines and strike-outs go.
    std::vector<BYTE> outline(GetOutlineTextMetricsW(dc, 0, nullptr));
    auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(outline.data());
    if (outline.size() < sizeof *otm || GetOutlineTextMetricsW(dc, outline.size(), otm) == 0) return 1;
    printf("     {%d, %d, %d, %u},\n     {\n", otm->otmsUnderscorePosition, otm->otmsUnderscoreSize,
           otm->otmsStrikeoutPosition, otm->otmsStrikeoutSize);
    const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    for (const wchar_t* g = kGlyphs; *g; ++g) {
      GLYPHMETRICS gm = {};
      UINT format = aa ? GGO_GRAY4_BITMAP : GGO_BITMAP;
      DWORD size = GetGlyphOutlineW(dc, *g, format, &gm, 0, nullptr, &identity);
      std::vector<int> levels;
      if (size != GDI_ERROR && size > 0) {
        std::vector<BYTE> buffer(size);
        GetGlyphOutlineW(dc, *g, format, &gm, size, buffer.data(), &identity);
        int w = gm.gmBlackBoxX, h = gm.gmBlackBoxY;
        int pitch = aa ? (w + 3) / 4 * 4 : (w + 31) / 32 * 4;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            levels.push_back(aa ? buffer[y * pitch + x] : (buffer[y * pitch + x / 8] & (0x80 >> (x % 8)) ? 16 : 0));
      }
      printf("      {0x%04x, %d, %d, %d, %d, %d, %d, \"%s\"},\n", (unsigned)*g, (int)gm.gmptGlyphOrigin.x,
             (int)gm.gmptGlyphOrigin.y, levels.empty() ? 0 : (int)gm.gmBlackBoxX,
             levels.empty() ? 0 : (int)gm.gmBlackBoxY, (int)gm.gmCellIncX, (int)gm.gmCellIncY, Rle(levels).c_str());
    }
    printf("     }},\n");
    SelectObject(dc, old);
    DeleteObject(font);
  }
}
