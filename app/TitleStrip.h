// The scrolling title strip: the running title moves left and, once its end
// has come in, repeats after a gap of at least half the strip.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <vector>

namespace app {

class TTitleStrip {
 public:
  // `dpi` picks the font size: 9 points below 97 pixels per inch, 8 otherwise.
  TTitleStrip(int width, int height, int dpi);

  void SetTitle(const QString& title) { title_ = title; }
  const QString& Title() const { return title_; }
  // Draws the current frame, then advances the offset by `step` pixels.
  void ScrollTitle(int step);

  const QImage& Image() const { return image_; }
  int Offset() const { return offset_; }
  // The text width used for the last frame (at least half the strip).
  int LastTextWidth() const { return lastTw_; }
  // x positions where the title was drawn in the last frame.
  const std::vector<int>& LastDrawX() const { return lastX_; }
  const QFont& Font() const { return font_; }

 private:
  // Lays the title out and draws it once into text_ (each title is shaped once, not every frame).
  void RenderText();

  QImage background_;
  QImage image_;
  QImage text_;          // the title on the strip's background, kPad pixels of margin on each side
  QString textTitle_;    // the title text_ was drawn from
  int textWidth_ = 0;    // its advance
  bool textReady_ = false;
  QFont font_;
  QString title_;
  int offset_ = 0;
  int lastTw_ = 0;
  std::vector<int> lastX_;
};

}  // namespace app
