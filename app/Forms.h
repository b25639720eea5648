// The secondary windows the program creates at start, each one object for the
// whole run. Windows that later parts of the player fill (tag editor, add-on
// and plug-in managers, associations, update, ...) hold their caption, their
// Close button and the texts a language file gives them.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Language.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QMouseEvent;

namespace app {

class TSkinImage;
class TImageButton;

// A window with a component name (the language file's window name), a caption
// bound to "<name>.Caption", and optional texts held for controls.
class TBaseForm : public QWidget, public TLangBindings {
 public:
  TBaseForm(std::string name, const QString& caption, QWidget* parent = nullptr);
  const std::string& Name() const { return name_; }
  // A push button bound to "<path>" that closes (hides) the window.
  QPushButton* AddCloseButton(const std::string& path, const QString& caption);
  // Texts of controls this window keeps for a later full window.
  void StoreTexts(const std::vector<std::string>& paths);
  // Called when the window is closed by its Close button or the system.
  std::function<void()> onClosed;

 protected:
  void closeEvent(QCloseEvent* e) override;
  QWidget* body_;
  QPushButton* BindButton(const std::string& path, const QString& caption);
  QLabel* BindLabel(const std::string& path, const QString& caption);
  QCheckBox* BindCheck(const std::string& path, const QString& caption);

 private:
  std::string name_;
};

// Equaliser window: a borderless skinned window ("bg_eq.bmp", rounded corners,
// a skinned close button, dragged by its background or its title) with ten
// band sliders (-15..15, up is louder) and the effect switches.
class TFormEq : public TBaseForm {
 public:
  // Effect switches, as the engine numbers them.
  enum Switch : uint32_t { kFlanger = 1, kEqualiser = 2, kEcho = 4, kReverb = 8, kRotate = 0x10, kSpeed = 0x100 };
  static constexpr int kWidth = 331, kHeight = 252;
  static constexpr const char* kBandText = " 80     170   310    600    1K      3K      6K    10K    12K  14K";

  explicit TFormEq(QWidget* parent = nullptr);
  // Sets a slider; the slider's range clamps the value. Returns the value taken.
  int SetBand(int band, int value);
  int Band(int band) const;
  QSlider* BandSlider(int band) const { return sliders_[band]; }
  QLabel* LabelTitle() const { return labelTitle_; }
  QLabel* LabelBands() const { return labelBands_; }
  TSkinImage* Background() const { return background_; }
  TImageButton* CloseButton() const { return close_; }
  // Sets the switches' boxes (kSpeed included) without reporting them, and enables the
  // controls that depend on them.
  void SetSwitches(uint32_t switches);
  uint32_t Switches() const;
  // Every band's position reported through onBandChange, bands 0 to 9 in order.
  void ApplyAllBands();
  // "Reset" 0, "Min" 15 (-15 dB), "Max" -15 (+15 dB), "Random" a random position in -15..14.
  void SetAllBands(int position);
  void RandomBands();
  QSlider* LevelSlider(uint32_t which) const;  // kFlanger, kEcho, kReverb or kSpeed
  // The skin folder (with its trailing slash) the window's bitmaps come from; read now and on each show.
  void LoadSkin(const std::string& skinFolder);

  // Called with (band, position) whenever a band slider moves; the gain is -position dB.
  std::function<void(int, int)> onBandChange;
  // A switch box was ticked or cleared.
  std::function<void(uint32_t, bool)> onSwitch;
  // An effect level (0..32) or the speed (100..100000 Hz) moved.
  std::function<void(uint32_t, int)> onLevel;

 protected:
  void showEvent(QShowEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void UpdateEnabled();
  void ApplyShape();
  void PlaceBands();
  void DragPress(QMouseEvent* e);
  void DragMove(QMouseEvent* e);
  std::array<QSlider*, 10> sliders_{};
  TSkinImage* background_;
  TImageButton* close_;
  QLabel* labelTitle_;
  QLabel* labelBands_;
  QCheckBox* cbEq_;
  std::array<QCheckBox*, 5> fxBoxes_{};  // flanger, echo, reverb, rotate, speed
  QSlider *trackFlanger_, *trackEcho_, *trackReverb_, *trackSpeed_;
  std::vector<QPushButton*> bandButtons_;
  std::string skinFolder_;
  bool quiet_ = false;
  bool dragging_ = false;
  QPoint dragOffset_;
};

// Stream-address prompt: an editable address box and "Open". Open confirms a
// non-empty text (made a stream address when it is none); closing it any other
// way leaves it unconfirmed.
class TFormUrl : public TBaseForm {
 public:
  explicit TFormUrl(QWidget* parent = nullptr);
  bool Confirmed() const { return confirmed_; }
  std::string Address() const;
  QComboBox* ComboBox1() const { return combo_; }
  // Clears the confirmation before the window is shown again.
  void Reset();
  // "Open": takes the text as an address.
  void Confirm();
  // The text as the prompt hands it on: any "scheme://" text as it is, else made an
  // address ("//host" gets "http:", "/path" gets "http:/", anything else "http://").
  static std::string MakeAddress(const std::string& text);

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  QComboBox* combo_;
  bool confirmed_ = false;
};

// Status window: the lines the player reports about libraries and streams.
class TFormStatus : public TBaseForm {
 public:
  explicit TFormStatus(QWidget* parent = nullptr);
  void AddLine(const std::string& line);
  // Adds text to the end of the last line (a new line when there is none).
  void AppendToLast(const std::string& text);
  void Clear();
  std::vector<std::string> Lines() const;
  QPlainTextEdit* Memo() const { return memo_; }

 private:
  QPlainTextEdit* memo_;
  std::vector<std::string> lines_;
};

}  // namespace app
