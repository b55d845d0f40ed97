// The turning cube: its model, the rotation step and the face renderer.
#pragma once

#include <cstdint>

#include "runtime/runtime.h"

// The scene's tables, one signed byte per value: the corner table (8
// corners x, y, z) followed by the face table (6 faces, corners A, B, C, D;
// A and B diagonal, outline A, C, B, D, (A - B) x (C - A) pointing out).
constexpr int CubeCornerValues = 24;
constexpr int CubeFaceValues = 24;
extern const signed char CubeTables[CubeCornerValues + CubeFaceValues];

// A projected outline point.
struct QuadPoint {
  int32_t x;
  int32_t y;
};

// The scene's state, kept in the program's part of the global block.
struct SceneState {
  float* curVerts;     // 24: rotated corners
  float* baseVerts;    // 24: corners as loaded
  signed char* faceIdx;  // 24: the face table
  QuadPoint* quadPts;  // 11: outline of the face being drawn (first 4 used)
  int32_t centreX;
  int32_t centreY;
  int32_t angleX;
  int32_t angleY;
  int32_t angleZ;
  int32_t lightX;
  int32_t lightY;
  int32_t lightZ;
  int32_t lightLen;
  int32_t scale;
};
static_assert(sizeof(SceneState) <= GlobalProgramBytes, "the scene lives in the program's part of the global block");
inline SceneState& Scene = *reinterpret_cast<SceneState*>(Globals.program);

// Allocates the four arrays, sets the parameters and loads both tables.
void SceneSetUp();
// Rebuilds the current corners from the loaded ones and the three angles,
// then advances the angles by 2, 1 and 3 degrees.
int32_t RotateCube();
// Draws the visible faces on the back buffer and presents it.
int32_t RenderFrame();
// A face's cosine with the view from its current corners (positive: facing
// the viewer), and the grey a shade is drawn in.
float FaceShade(int face);
int32_t FaceGrey(float shade);
// The whole program: start-up, opening, frame loop, shutdown; never returns.
[[noreturn]] void CubeMain();
