#include <cmath>

#include "runtime/array.h"
#include "scene/scene.h"

const signed char CubeTables[CubeCornerValues + CubeFaceValues] = {
    // corners
    -1, -1, -1,  -1, -1, 1,  -1, 1, -1,  -1, 1, 1,
    1, -1, -1,   1, -1, 1,   1, 1, -1,   1, 1, 1,
    // faces: x = -1, y = -1, z = -1, y = 1, z = 1, x = 1
    0, 3, 1, 2,  0, 5, 4, 1,  0, 6, 2, 4,  6, 3, 2, 7,  3, 5, 1, 7,  4, 7, 6, 5,
};

namespace {

template <typename T>
void** Var(T*& variable) {
  return reinterpret_cast<void**>(&variable);
}

signed char ReadNext() { return *Globals.readPos++; }

}  // namespace

void SceneSetUp() {
  ArrayAlloc(4, 24, TypeFloat, nullptr, Var(Scene.curVerts));
  ArrayAlloc(4, 24, TypeFloat, nullptr, Var(Scene.baseVerts));
  ArrayAlloc(1, 24, TypeByte, nullptr, Var(Scene.faceIdx));
  ArrayAlloc(sizeof(QuadPoint), 11, TypeStruct, nullptr, Var(Scene.quadPts));

  Scene.centreX = 320;
  Scene.centreY = 240;
  Scene.angleX = 5;
  Scene.angleY = 2;
  Scene.angleZ = 3;
  Scene.lightX = 0;
  Scene.lightY = 0;
  Scene.lightZ = -4;
  Scene.lightLen = static_cast<int32_t>(std::lround(
      std::sqrt(static_cast<double>(Scene.lightX * Scene.lightX + Scene.lightY * Scene.lightY +
                                    Scene.lightZ * Scene.lightZ))));
  Scene.scale = 90;

  Globals.readPos = CubeTables;
  for (int i = 0; i < CubeCornerValues; ++i) {
    Scene.curVerts[i] = static_cast<float>(ReadNext());
    Scene.baseVerts[i] = Scene.curVerts[i];
  }
  Globals.readPos = CubeTables + CubeCornerValues;
  for (int i = 0; i < CubeFaceValues; ++i) Scene.faceIdx[i] = ReadNext();
}
