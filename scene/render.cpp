#include <cmath>

#include "drawing/context.h"
#include "drawing/driver.h"
#include "runtime/trunc.h"
#include "scene/scene.h"
#include "screen/screen.h"

namespace {

struct Vec {
  float x;
  float y;
  float z;
};

Vec Corner(int index) {
  const float* v = Scene.curVerts + 3 * index;
  return {v[0], v[1], v[2]};
}

// Differences and products are formed in double precision and stored as
// floats.
Vec Minus(const Vec& p, const Vec& q) {
  return {static_cast<float>(static_cast<double>(p.x) - q.x), static_cast<float>(static_cast<double>(p.y) - q.y),
          static_cast<float>(static_cast<double>(p.z) - q.z)};
}

QuadPoint Project(const Vec& p) {
  // The whole sum is truncated, not the product alone.
  return {TruncToInt(static_cast<double>(Scene.scale) * p.x + Scene.centreX),
          TruncToInt(static_cast<double>(Scene.scale) * p.y + Scene.centreY)};
}

void DrawFace(HDC dc, Colour colour) {
  HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(colour));
  HPEN pen = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(colour));
  HGDIOBJ previousBrush = SelectObject(dc, brush);
  HGDIOBJ previousPen = SelectObject(dc, pen);
  Polygon(dc, reinterpret_cast<const POINT*>(Scene.quadPts), 4);
  // Let go of the face's objects first: a selected object is not deleted at
  // once, and they must not outlive the face.
  SelectObject(dc, previousBrush);
  SelectObject(dc, previousPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

}  // namespace

static_assert(sizeof(QuadPoint) == sizeof(POINT), "an outline point is a platform point");

float FaceShade(int face) {
  const signed char* corners = Scene.faceIdx + 4 * face;
  const Vec A = Corner(corners[0]);
  const Vec B = Corner(corners[1]);
  const Vec C = Corner(corners[2]);
  const Vec a = Minus(A, B);
  const Vec d = Minus(C, A);
  const float nx = static_cast<float>(static_cast<double>(a.y) * d.z - static_cast<double>(d.y) * a.z);
  const float ny = static_cast<float>(static_cast<double>(a.z) * d.x - static_cast<double>(d.z) * a.x);
  const float nz = static_cast<float>(static_cast<double>(a.x) * d.y - static_cast<double>(d.x) * a.y);
  const float len = static_cast<float>(
      std::sqrt(static_cast<double>(nx) * nx + static_cast<double>(ny) * ny + static_cast<double>(nz) * nz));
  return static_cast<float>(static_cast<double>(nz) * Scene.lightZ / (static_cast<double>(len) * Scene.lightLen));
}

int32_t FaceGrey(float shade) { return TruncToInt(static_cast<double>(shade) * 255.0) & 0xFF; }

int32_t RenderFrame() {
  HDC dc = DrawBegin(ScreenDrawTarget());
  // Without a session there is nothing to draw on; the flip still paces
  // the loop.
  if (dc != nullptr) {
    DrawFillRect(0, 0, 640, 480, 0);
    for (int f = 0; f < 6; ++f) {
      const float shade = FaceShade(f);
      // Looking away, edge-on, or not a number.
      if (!(shade > 0.0f)) continue;
      const signed char* corners = Scene.faceIdx + 4 * f;
      // Round the face: A, C, B, D.
      Scene.quadPts[0] = Project(Corner(corners[0]));
      Scene.quadPts[1] = Project(Corner(corners[2]));
      Scene.quadPts[2] = Project(Corner(corners[1]));
      Scene.quadPts[3] = Project(Corner(corners[3]));
      const int32_t grey = FaceGrey(shade);
      DrawFace(dc, ColorFromRgb(grey, grey, grey));
    }
  }
  DrawEnd();
  ScreenFlip();
  return 0;
}
