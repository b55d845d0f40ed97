// System metrics, as Wine reports them in a fresh prefix with the default
// theme; the screen size comes from the display backend.
#include "display/backend.h"
#include "user/internal.h"

int WINAPI GetSystemMetrics(int index) {
  int width = 1024, height = 768;
  if (const display::Backend* backend = display::Current())
    if (backend->screenSize) backend->screenSize(&width, &height);
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
    case SM_CXFULLSCREEN:
      return width;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
      return height;
    case SM_CYFULLSCREEN:
      // Wine's value: the screen less the caption, plus the frame and more.
      return height + 11;
    case SM_XVIRTUALSCREEN:
    case SM_YVIRTUALSCREEN:
      return 0;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
      return 17;
    case SM_CYCAPTION:
    case SM_CYMENU:
      return 19;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return 4;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
      return 32;
    case SM_CXSIZE:
    case SM_CYSIZE:
      return 18;
    case SM_CXEDGE:
    case SM_CYEDGE:
      return 2;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return 16;
    case SM_CYSMCAPTION:
      return 16;
    case SM_CXSMSIZE:
    case SM_CYSMSIZE:
      return 15;
    case SM_CXMIN:
    case SM_CXMINTRACK:
      return 116;
    case SM_CYMIN:
    case SM_CYMINTRACK:
      return 27;
    case SM_CXMENUSIZE:
    case SM_CYMENUSIZE:
      return 18;
    case SM_CXMINIMIZED:
      return 160;
    case SM_CYMINIMIZED:
      return 24;
    case SM_CXMAXTRACK:
      return width + 12;
    case SM_CYMAXTRACK:
      return height + 12;
    case SM_CXMAXIMIZED:
      return width + 8;
    case SM_CYMAXIMIZED:
      return height + 38;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
      return 4;
    case SM_CMONITORS:
      return 1;
    case SM_CXPADDEDBORDER:
      return 0;
    default:
      return 0;
  }
}
