// The stacker's skinned window (275x116, or 275x14 shaded): the chain in four
// rows with checkboxes, a scroll bar, nine buttons, the keys of the chain
// operations, dragging with docking to the host's main window, and the Add and
// About dialogs. GUI thread only.
#pragma once

#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "stacker/Stacker.h"
#include "stacker/StackerSettings.h"

namespace pilvo {

// The skin drawn at build time (PNG bytes compiled into the library).
const QImage& Skin();

// Every message box of the stacker goes through here; tests replace it.
using MessageSink = std::function<void(QMessageBox::Icon icon, const QString& caption, const QString& text)>;
void SetMessageSink(MessageSink sink);
void ShowStackerMessage(QMessageBox::Icon icon, const QString& text);

class TStackerWindow : public QWidget {
 public:
  static constexpr int kWidth = 275, kFullHeight = 116, kShadeHeight = 14;
  enum Button { kAdd, kRemove, kConfigure, kDown, kUp, kLoad, kSave, kAbout, kShade, kButtons, kNone = -1 };

  TStackerWindow(TStacker* stacker, TDescriptionCache* cache, QWidget* host = nullptr);
  ~TStackerWindow() override;

  // Position (kept on the desktop), shade and docking from plugin.ini.
  void ApplySettings(TWindowSettings s);
  TWindowSettings CurrentSettings() const;
  // Writes the window keys and the chain to plugin.ini and unloads the chain.
  void SaveAndUnload();

  void SetShade(bool shade);
  bool Shaded() const { return shade_; }
  int Docked() const { return docked_; }
  QWidget* Host() const { return host_; }

  // The actions of the buttons and keys.
  void Perform(Button b);
  void ShowAddDialog();
  void ShowAboutDialog();
  void LoadChainFile();
  void SaveChainFile();

  // Chooses a chain file (save: may be new; the dialog asks before replacing).
  // Tests replace it; an empty answer is a cancel.
  std::function<QString(bool save)> chooseChainFile;

  // Docking against a host rectangle, for a window at `frame`: the side and the
  // docked position (side 0 keeps the position).
  static int DockSide(const QRect& frame, const QRect& host, QPoint* docked);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void changeEvent(QEvent*) override;
  void closeEvent(QCloseEvent*) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Button ButtonAt(QPoint p) const;
  QRect ButtonRect(Button b) const;
  void PlaceAgainstHost();

  TStacker* stacker_;
  TDescriptionCache* cache_;
  QPointer<QWidget> host_;
  QPoint hostPos_;
  bool shade_ = false;
  int docked_ = 0;
  Button held_ = kNone;   // button pressed with the mouse
  bool heldInside_ = false;
  bool dragging_ = false; // the title strip
  QPoint dragOffset_;
  bool listDrag_ = false;
  bool thumbDrag_ = false;
  bool saved_ = false;
};

}  // namespace pilvo
