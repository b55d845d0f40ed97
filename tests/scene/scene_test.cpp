// The cube scene: its model, the rotation sequence, and frames drawn on the
// back buffer compared with an independent computation of what they show.
#include <cmath>
#include <string>

#include "runtime/array.h"
#include "scene/scene.h"
#include "screen/screen_fixture.h"

namespace {

class SceneModelTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    SceneSetUp();
  }
};

TEST_F(SceneModelTest, LoadsBothTablesIntoZeroHeaderedArrays) {
  for (int i = 0; i < 24; ++i) {
    EXPECT_EQ(Scene.curVerts[i], Scene.baseVerts[i]) << i;
    EXPECT_TRUE(Scene.curVerts[i] == 1.0f || Scene.curVerts[i] == -1.0f) << i;
    EXPECT_GE(Scene.faceIdx[i], 0);
    EXPECT_LE(Scene.faceIdx[i], 7);
  }
  EXPECT_EQ(Scene.lightLen, 4);
  EXPECT_EQ(Scene.scale, 90);
  const struct {
    void* data;
    int32_t elemSize;
    int32_t count;
    int32_t typeCode;
  } arrays[] = {{Scene.curVerts, 4, 24, 9}, {Scene.baseVerts, 4, 24, 9}, {Scene.faceIdx, 1, 24, 1},
                {Scene.quadPts, 8, 11, 7}};
  for (const auto& a : arrays) {
    ArrayHeader* header = ArrayHeaderOf(a.data);
    EXPECT_EQ(header->elemSize, a.elemSize);
    EXPECT_EQ(header->count, a.count);
    EXPECT_EQ(header->typeCode, a.typeCode);
  }
  for (int i = 0; i < 11; ++i) EXPECT_EQ(Scene.quadPts[i].x | Scene.quadPts[i].y, 0);
}

TEST_F(SceneModelTest, EveryFaceIsAnOutwardQuadrilateralOnItsPlane) {
  // A and B diagonal, outline A, C, B, D, (A - B) x (C - A) pointing out.
  for (int f = 0; f < 6; ++f) {
    const float* v = Scene.baseVerts;
    const signed char* c = Scene.faceIdx + 4 * f;
    double centre[3] = {0, 0, 0}, cross[3];
    double A[3], B[3], C[3];
    for (int i = 0; i < 3; ++i) {
      A[i] = v[3 * c[0] + i];
      B[i] = v[3 * c[1] + i];
      C[i] = v[3 * c[2] + i];
      for (int k = 0; k < 4; ++k) centre[i] += v[3 * c[k] + i] / 4.0;
    }
    const double a[3] = {A[0] - B[0], A[1] - B[1], A[2] - B[2]};
    const double d[3] = {C[0] - A[0], C[1] - A[1], C[2] - A[2]};
    cross[0] = a[1] * d[2] - d[1] * a[2];
    cross[1] = a[2] * d[0] - d[2] * a[0];
    cross[2] = a[0] * d[1] - d[0] * a[1];
    EXPECT_GT(cross[0] * centre[0] + cross[1] * centre[1] + cross[2] * centre[2], 0.0) << f;
    double diagonal = 0;
    for (int i = 0; i < 3; ++i) diagonal += (A[i] - B[i]) * (A[i] - B[i]);
    EXPECT_EQ(diagonal, 8.0) << f;
  }
}

// The rotation of a loaded corner by whole degrees, about x, then y, then
// z, with rotation matrices in double precision.
void Rotated(const float* corner, int ax, int ay, int az, double out[3]) {
  const double r = 3.14159265358979323846 / 180.0;
  const double a = ax * r, b = ay * r, c = az * r;
  double x = corner[0], y = corner[1], z = corner[2];
  double y1 = std::cos(a) * y - std::sin(a) * z, z1 = std::sin(a) * y + std::cos(a) * z;
  double x2 = std::cos(b) * x - std::sin(b) * z1, z2 = std::sin(b) * x + std::cos(b) * z1;
  out[0] = std::cos(c) * x2 - std::sin(c) * y1;
  out[1] = std::sin(c) * x2 + std::cos(c) * y1;
  out[2] = z2;
}

TEST_F(SceneModelTest, RotationStepsThroughTheAngleSequence) {
  RotateCube();
  EXPECT_EQ(Scene.angleX, 7);
  EXPECT_EQ(Scene.angleY, 3);
  EXPECT_EQ(Scene.angleZ, 6);
  for (int k = 0; k < 8; ++k) {
    double expected[3];
    Rotated(Scene.baseVerts + 3 * k, 5, 2, 3, expected);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(Scene.curVerts[3 * k + i], expected[i], 1e-6) << k << "," << i;
  }
  // The loaded corners never change.
  EXPECT_EQ(Scene.baseVerts[0], -1.0f);

  bool sawZWrap = false, sawXWrap = false;
  for (int step = 1; step < 360; ++step) {
    const int x = Scene.angleX, z = Scene.angleZ;
    RotateCube();
    if (z == 357) sawZWrap = Scene.angleZ == 0;
    if (x == 359) sawXWrap = Scene.angleX == 1;
    ASSERT_GE(Scene.angleX, 0);
    ASSERT_LT(Scene.angleX, 360);
    for (int k = 0; k < 8; ++k) {
      const float* p = Scene.curVerts + 3 * k;
      ASSERT_NEAR(std::sqrt(double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2]), std::sqrt(3.0), 1e-5);
    }
  }
  EXPECT_TRUE(sawZWrap);
  EXPECT_TRUE(sawXWrap);
  EXPECT_EQ(Scene.angleX, 5);
  EXPECT_EQ(Scene.angleY, 2);
  EXPECT_EQ(Scene.angleZ, 3);
}

TEST_F(SceneModelTest, FacesAreShadedByTheirCosineWithTheView) {
  // As loaded, only face 2 (z = -1) faces the viewer, fully; faces 0, 1, 3
  // and 5 are edge-on and face 4 looks away.
  EXPECT_EQ(FaceShade(2), 1.0f);
  for (int f : {0, 1, 3, 5}) EXPECT_EQ(FaceShade(f), 0.0f) << f;
  EXPECT_EQ(FaceShade(4), -1.0f);

  // Turned a hundredth of a degree about y: face 0 (x = -1) now faces the
  // viewer, only just.
  const double angle = 0.01 * 3.14159265358979323846 / 180.0;
  for (int k = 0; k < 8; ++k) {
    const float x = Scene.baseVerts[3 * k], z = Scene.baseVerts[3 * k + 2];
    Scene.curVerts[3 * k] = static_cast<float>(std::cos(angle) * x - std::sin(angle) * z);
    Scene.curVerts[3 * k + 2] = static_cast<float>(std::sin(angle) * x + std::cos(angle) * z);
  }
  const float slight = FaceShade(0);
  EXPECT_LT(FaceShade(5), 0.0f);
  EXPECT_GT(slight, 0.0f);
  EXPECT_LT(slight, 0.001f);
  // A face that barely faces the viewer is drawn, in black.
  EXPECT_EQ(FaceGrey(slight), 0);
}

TEST(SceneGrey, TruncatesAndKeepsTheLowByte) {
  EXPECT_EQ(FaceGrey(1.0f), 255);
  // A hair above one still gives white, never a wrapped 0.
  EXPECT_EQ(FaceGrey(std::nextafter(1.0f, 2.0f)), 255);
  EXPECT_EQ(FaceGrey(0.5f), 127);
  EXPECT_EQ(FaceGrey(0.999f), 254);
  EXPECT_EQ(FaceGrey(1.0f / 255.0f), 1);
}

class SceneFrameTest : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    SceneSetUp();
    OpenSceneScreen();
  }
};

TEST_F(SceneFrameTest, FirstFrameIsTheWhiteFrontSquareOnBlack) {
  if (Screen.screenDepth != 32) GTEST_SKIP() << "the desktop is not 32-bit here";
  RenderFrame();
  EXPECT_TRUE(pixels::SamePicture(BackBufferPicture(), pixels::Picture(640, 480).Fill(230, 150, 411, 331, 0xFFFFFF)));
  // The last drawn outline is face 2's, A, C, B, D.
  const QuadPoint expected[4] = {{230, 150}, {230, 330}, {410, 330}, {410, 150}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Scene.quadPts[i].x, expected[i].x);
    EXPECT_EQ(Scene.quadPts[i].y, expected[i].y);
  }
  EXPECT_EQ(Screen.deviceActive, 1);
}

TEST_F(SceneFrameTest, TurnedFramesShowTheVisibleFacesInTheirGreys) {
  if (Screen.screenDepth != 32) GTEST_SKIP() << "the desktop is not 32-bit here";
  for (int steps : {1, 40, 123}) {
    while (Scene.angleX != (5 + 2 * steps) % 360 || Scene.angleY != (2 + steps) % 360) RotateCube();
    const int ax = (Scene.angleX + 358) % 360, ay = (Scene.angleY + 359) % 360, az = (Scene.angleZ + 357) % 360;
    RenderFrame();
    const pixels::Picture frame = BackBufferPicture();
    ASSERT_EQ(frame.width, 640);
    int drawn = 0;
    for (int f = 0; f < 6; ++f) {
      double P[4][3];
      for (int k = 0; k < 4; ++k) Rotated(Scene.baseVerts + 3 * Scene.faceIdx[4 * f + k], ax, ay, az, P[k]);
      // Outward normal of the turned face, and the cosine with the view.
      double a[3], d[3];
      for (int i = 0; i < 3; ++i) {
        a[i] = P[0][i] - P[1][i];
        d[i] = P[2][i] - P[0][i];
      }
      const double n[3] = {a[1] * d[2] - d[1] * a[2], a[2] * d[0] - d[2] * a[0], a[0] * d[1] - d[0] * a[1]};
      const double shade = -n[2] / std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      // Far from the face's edges, its centre shows its grey.
      const int cx = static_cast<int>(90 * (P[0][0] + P[1][0]) / 2 + 320);
      const int cy = static_cast<int>(90 * (P[0][1] + P[1][1]) / 2 + 240);
      const uint32_t pixel = frame.at(cx, cy);
      if (shade > 0.05) {
        const uint32_t grey = static_cast<uint32_t>(shade * 255.0);
        const uint32_t seen = pixel & 0xFF;
        EXPECT_NEAR(static_cast<double>(seen), static_cast<double>(grey), 1.0) << "face " << f << " after " << steps;
        EXPECT_EQ(pixel, seen * 0x010101u) << "face " << f;
        ++drawn;
      }
    }
    EXPECT_GE(drawn, 1);
    EXPECT_LE(drawn, 3);
    EXPECT_EQ(frame.at(0, 0), 0u);
    EXPECT_EQ(frame.at(639, 479), 0u);
  }
}

// FNV-1a over every pixel's 0xRRGGBB value, row by row.
uint32_t FrameHash(const pixels::Picture& frame) {
  uint32_t hash = 2166136261u;
  for (uint32_t pixel : frame.rgb)
    for (int shift = 0; shift < 32; shift += 8) hash = (hash ^ ((pixel >> shift) & 0xFF)) * 16777619u;
  return hash;
}

// The frames drawn from a turn of 90, 180 and 270 degrees about y: a face is
// edge-on there, and whether it is drawn, and how its corners round, hangs
// on the last bit of the rotation's arithmetic (the float degree factor,
// each intermediate rounded to a float). The hashes are of the frames
// Windows draws (taken under Wine); a mismatch writes the actual frame.
TEST_F(SceneFrameTest, FramesAtQuarterTurnsAreExact) {
  if (Screen.screenDepth != 32) GTEST_SKIP() << "the desktop is not 32-bit here";
  const struct {
    int steps;
    uint32_t hash;
  } frames[] = {{89, 0xE67C5E35}, {179, 0xA2157C45}, {269, 0x8D62DDE5}};
  int steps = 0;
  for (const auto& f : frames) {
    for (; steps < f.steps; ++steps) RotateCube();
    RenderFrame();
    const pixels::Picture frame = BackBufferPicture();
    const uint32_t hash = FrameHash(frame);
    EXPECT_EQ(hash, f.hash) << "after " << f.steps << " steps, the frame written to "
                            << pixels::OutputPath(std::to_string(f.steps), "actual");
    if (hash != f.hash) pixels::WritePng(pixels::OutputPath(std::to_string(f.steps), "actual"), frame);
  }
}

TEST_F(SceneFrameTest, ProjectionTruncatesTheWholeSum) {
  // Face 2 (z = -1) with its corner A moved to x = -1.2345: 90 * -1.2345 +
  // 320 = 208.895 gives 208.
  const int cornerA = Scene.faceIdx[8];
  Scene.curVerts[3 * cornerA] = -1.2345f;
  RenderFrame();
  EXPECT_EQ(Scene.quadPts[0].x, 208);
  EXPECT_EQ(Scene.quadPts[1].x, 230);
}

}  // namespace
