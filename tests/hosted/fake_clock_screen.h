// The screen fixture on a clock whose retrace waits cost nothing, for runs
// of thousands of frames.
#pragma once

#include <algorithm>
#include <cstdint>

#include "hosted/hooks.h"
#include "screen/screen_fixture.h"

class FakeClockScreenFixture : public ScreenFixture {
 protected:
  void SetUp() override {
    hosted::SetClock(Now, SleepUntil);
    ScreenFixture::SetUp();
  }
  void TearDown() override {
    ScreenFixture::TearDown();
    hosted::SetClock(nullptr, nullptr);
  }

 private:
  static inline uint64_t micros = 0;
  static uint64_t Now() { return micros; }
  static void SleepUntil(uint64_t until) { micros = std::max(micros, until); }
};
