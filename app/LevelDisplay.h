// The 25-band level display: bars from a fixed gradient and a peak mark per
// band that holds for eight frames and then falls ever faster. Drawn into a
// QImage the main window shows (UI thread only).
#pragma once

#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>

namespace app {

class TLevelDisplay {
 public:
  static constexpr int kBands = 25;
  static constexpr int kWidth = 102;
  static constexpr int kHeight = 33;

  TLevelDisplay();

  // Clears the peak values and hold counters (start-up and each stream open).
  void ClearPeaks();
  // Draws one frame from 25 levels (band 1 first, nominally 0..32). Only the bands whose bar or
  // peak mark moved are redrawn; returns false when the frame shows nothing new (no repaint needed).
  bool DrawLevelDisplay(const std::array<uint16_t, kBands>& levels);
  // The part of the image the last DrawLevelDisplay changed (the columns from the first to the last
  // band it redrew); empty when it changed nothing.
  QRect LastChanged() const { return lastChanged_; }
  // Shows the empty background (pause and stop).
  void DrawEmpty();

  const QImage& Image() const { return image_; }
  const QImage& Background() const { return background_; }
  const QImage& Gradient() const { return gradient_; }
  double Peak(int band) const { return peak_[band]; }
  int Hold(int band) const { return hold_[band]; }
  // Left edge of band i (0-based) in the image.
  static int BandX(int band) { return 4 * (band + 1) - 2; }

 private:
  // Band i's column as a bar of `bar` rows with a peak mark at height `mark` (none when < 0).
  void PaintBand(int band, int bar, int mark);

  QImage background_;  // black with a blue dotted left edge and bottom row
  QImage gradient_;    // 3 x 32
  QImage image_;       // the shown frame
  std::array<double, kBands> peak_{};
  std::array<int, kBands> hold_{};
  std::array<int, kBands> shownBar_{};   // what image_ shows now
  std::array<int, kBands> shownMark_{};
  QRect lastChanged_;
};

}  // namespace app
