// The main window's size and place: 520 x 760 logical pixels scaled by the
// system DPI, centred in the primary monitor's work area.
#pragma once

namespace kestrune::app {

inline constexpr int kWindowWidth = 520;
inline constexpr int kWindowHeight = 760;

// number * numerator / denominator, rounded half away from zero, through a
// 64-bit product; -1 for a zero denominator or a result outside int (as
// Win32's MulDiv).
int mulDiv(int number, int numerator, int denominator);

struct WorkArea {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct WindowPlacement {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Left and top truncate toward zero, so a window larger than the work area
// overhangs both sides evenly.
WindowPlacement mainWindowPlacement(int dpi, const WorkArea& work);

}  // namespace kestrune::app
