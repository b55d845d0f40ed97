// The drawing test card: one frame of labelled panels that between them
// use every operation of the drawing driver, drawn through whatever
// drawing session is open (the screen's back buffer in the card program).
#pragma once

#include <cstdint>

#include "drawing/context.h"

constexpr int32_t CardWidth = 640;
constexpr int32_t CardHeight = 480;
constexpr int32_t CardColumns = 4;
constexpr int32_t CardRows = 4;
constexpr int32_t CardPanelWidth = CardWidth / CardColumns;
constexpr int32_t CardPanelHeight = CardHeight / CardRows;

// The panels, in drawing order (row by row). The capture panel draws back
// part of the lines panel, so it comes after it.
enum CardPanel : int32_t {
  CardRectangles,
  CardRoundRects,
  CardCircles,
  CardEllipses,
  CardLines,
  CardFloodFills,
  CardInverted,
  CardPixels,
  CardText,
  CardAngledText,
  CardMeasures,
  CardImages,
  CardBlending,
  CardIcons,
  CardCapture,
  CardDirectPixels,
  CardPanelCount
};

// The rectangle a panel covers and its name as the card labels it.
struct CardPanelInfo {
  int32_t x, y, width, height;
  const char* name;
};
CardPanelInfo CardPanelAt(int32_t panel);

// Whether a panel's pixels come from a filter that is the platform's own
// (halftone stretches): compared with a tolerance rather than exactly.
bool CardPanelFiltered(int32_t panel);

// Makes what the card draws with: three fonts, two images (one with
// per-pixel alpha) and two icons. False, with nothing kept, when any of
// them cannot be made. Needs the runtime started (the image table).
bool CardSetUp();
// Frees them.
void CardTearDown();

// Draws frame `frame` of the card on the current session; the hand in the
// direct-pixels panel turns 6 degrees a frame, the rest is the same every
// frame. Leaves the session's colour, mode and font as it found them.
void CardDraw(int32_t frame);

// The image number the capture panel registers its capture under; the
// previous frame's capture is released by the next.
constexpr int32_t CardCaptureNumber = 1;
