#include <cmath>

#include "scene/scene.h"

int32_t RotateCube() {
  // One degree in radians, as a float: 0x3C8EFA35.
  const float factor = 0.017453292f;
  // Products of an integer angle and the float factor, in double precision.
  const double a = static_cast<double>(Scene.angleX) * factor;
  const double b = static_cast<double>(Scene.angleY) * factor;
  const double c = static_cast<double>(Scene.angleZ) * factor;
  for (int k = 0; k < 8; ++k) {
    const double x = Scene.baseVerts[3 * k];
    const double y = Scene.baseVerts[3 * k + 1];
    const double z = Scene.baseVerts[3 * k + 2];
    // Every intermediate is rounded to a float before it is used again.
    const float y1 = static_cast<float>(std::cos(a) * y - std::sin(a) * z);
    const float z1 = static_cast<float>(std::sin(a) * y + std::cos(a) * z);
    const float x2 = static_cast<float>(std::cos(b) * x - std::sin(b) * static_cast<double>(z1));
    const float z2 = static_cast<float>(std::sin(b) * x + std::cos(b) * static_cast<double>(z1));
    const float x3 = static_cast<float>(std::cos(c) * static_cast<double>(x2) - std::sin(c) * static_cast<double>(y1));
    const float y3 = static_cast<float>(std::sin(c) * static_cast<double>(x2) + std::cos(c) * static_cast<double>(y1));
    Scene.curVerts[3 * k] = x3;
    Scene.curVerts[3 * k + 1] = y3;
    Scene.curVerts[3 * k + 2] = z2;
  }
  Scene.angleX = (Scene.angleX + 2) % 360;
  Scene.angleY = (Scene.angleY + 1) % 360;
  Scene.angleZ = (Scene.angleZ + 3) % 360;
  return 0;
}
