#include "scene/scene.h"
#include "screen/screen.h"
#include "system/startup.h"
#include "window/events.h"
#include "window/window.h"

void CubeMain() {
  RuntimeStart(CubeTables);
  SceneSetUp();
  // The chain stops at the first failure; the program then ends quietly.
  if (ScreenSystemInit() != nullptr && WindowOpen(0, 0, 0, 640, 480, TEXT("Cube"), 0xCA0000) != 0 &&
      ScreenOpenInWindow(WindowNativeHandle(0), 0, 0, 640, 480, 0, 0, 0) != 0) {
    // The first frame shows the cube as loaded.
    RenderFrame();
    for (;;) {
      RotateCube();
      RenderFrame();
      // The key's physical state now, whoever has the focus.
      if ((GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0) break;
      if (WindowPollEvent() == EventCloseWindow) break;
    }
  }
  RuntimeEnd();
}
