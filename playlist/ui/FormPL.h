// TFormPL: the playlist window over a TPlaylist. A borderless skinned window
// with the list (Num, Title, Time and a hidden File column), the Add, Remove,
// Sort and Manage buttons with their menus, the entry menu, dropped files,
// dragging by the top bar and resizing by the bottom and right bars.
//
// The main window's dialogs and prompts reach the window as replaceable
// functions (tests hand in their own); its language texts are read and written
// by path ("PMAddFiles.Caption", "StringFiles"), the keys without "FormPL.".
//
// Threads: UI thread only.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "playlist/Playlist.h"
#include "playlist/ui/TagEdit.h"

class QAction;
class QMenu;
class QTreeWidget;

namespace playlist {

// An image button drawn from a bitmap strip of three frames side by side
// (0 normal, 1 hover, 2 pressed). Without a strip it shows its hint text.
class TImageButton : public QLabel {
 public:
  TImageButton(const QString& hint, QSize size, QWidget* parent);
  void SetStrip(const QPixmap& strip);
  void PaintButtonState(int frame);
  int Frame() const { return frame_; }
  std::function<void(QPoint globalPos)> onClick;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  QPixmap strip_;
  int frame_ = 0;
};

class TFormPL : public QWidget {
 public:
  TFormPL(TPlaylist& model, QWidget* parent = nullptr);
  ~TFormPL() override;

  // Rebuilds the rows from the model now (changes are otherwise shown on the next event loop turn).
  void Refresh();
  // After the main window moved PlayingIndex: the playing row gets the focus
  // mark, is scrolled into view and the list is redrawn.
  void ShowPlaying();
  // Reads the skin bitmaps present in `skinFolder` (ending with '/').
  void LoadSkin(const std::string& skinFolder);

  // Language texts by path; false for a path the window does not have.
  bool GetLangText(const std::string& path, std::string& text) const;
  void SetLangText(const std::string& path, const std::string& text);
  std::vector<std::string> LangPaths() const;

  // What the main window provides (defaults use Qt's own dialogs; the URL prompt does nothing).
  std::function<std::vector<std::string>()> ChooseFiles;
  std::function<std::string(const std::string& startFolder)> ChooseFolder;
  std::function<void()> OpenUrl;  // the main window's address prompt; it adds the address itself
  std::function<std::string(const std::string& filter)> ChooseOpenPlaylist;
  std::function<std::string(const std::string& filter, const std::string& proposed)> ChooseSavePlaylist;
  std::function<std::string(const std::string& filter)> ChooseImportPlaylist;
  // Shows the tag window for the row `index` once FileInfoClick has read the
  // file's tags into TagEdit() (not modal).
  std::function<void(int index)> ShowFileInfo;
  // Shows the video properties window for the video entry `index` (modal).
  std::function<void(int index)> ShowVideoInfo;
  std::function<void()> onClosed;
  // Saves "Default.plf" when the window is destroyed (program end).
  bool SaveOnDestroy = true;

  // Commands (menus, buttons and keys call these).
  void AddFilesClick();
  void AddFolderClick();
  void AddUrlClick();
  void RemoveSelectedClick();
  void RemoveAllClick();
  void SortClick(const std::string& key);
  void ReverseClick();
  void RandomClick();
  void OpenPlaylistClick();
  void SavePlaylistClick();
  void ImportPlaylistClick();
  void PlayClick();
  void FileInfoClick();
  // The tag window's OK: writes the edited texts into the file the window was
  // filled for (TagEdit().EditFile(), whatever row is selected now), telling the
  // user what failed. False when the window should stay open (a track text
  // that is no number).
  bool SaveTagEdits(const TTagFields& v1, const TTagFields& v2);
  TTagEdit& TagEdit() { return tagEdit_; }
  void DropFiles(const std::vector<std::string>& files);

  // Parts, for the main window and tests.
  QTreeWidget* ListView1() const { return list_; }
  QLabel* LabelTitle() const { return labelTitle_; }
  QLabel* LabelFiles() const { return labelFiles_; }
  QLabel* LabelTimeTotal() const { return labelTotal_; }
  TImageButton* Button(const std::string& name) const;
  QMenu* Menu(const std::string& name) const;
  QAction* Action(const std::string& name) const;
  QWidget* TopBar() const { return top_; }
  QWidget* BottomBar() const { return bottom_; }
  QWidget* RightBar() const { return right_; }

  static constexpr int kTopHeight = 31, kBottomHeight = 43, kSideWidth = 9;
  static constexpr int kNumWidth = 40, kTimeWidth = 60;

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  enum class Sizing { None, Bottom, Corner, Right };
  void BuildMenus();
  void BindTexts();
  QAction* AddAction(QMenu* menu, const std::string& name, const QString& text, std::function<void()> run);
  void ScheduleRefresh();
  void SyncSelectionFromView();
  void ShowProgress(const TAddProgress& p);
  void ResetBottomButtons();
  void ApplyShape();
  void PopUp(QMenu* menu, QPoint globalPos);
  bool BarMouse(QWidget* bar, QEvent* e);

  TPlaylist& model_;
  TTagEdit tagEdit_;
  QLabel* top_ = nullptr;
  QLabel* bottom_ = nullptr;
  QLabel* left_ = nullptr;
  QLabel* right_ = nullptr;
  QLabel* labelTitle_ = nullptr;
  QLabel* labelFiles_ = nullptr;
  QLabel* labelTotal_ = nullptr;
  QTreeWidget* list_ = nullptr;
  std::map<std::string, TImageButton*> buttons_;
  std::map<std::string, QMenu*> menus_;
  std::map<std::string, QAction*> actions_;
  struct Text {
    std::function<std::string()> get;
    std::function<void(const std::string&)> set;
  };
  std::map<std::string, Text> texts_;
  std::string openFilter_ = "Playlist File (*.plf)|*.plf";
  std::string saveFilter_ = "Playlist File (*.plf)|*.plf";
  std::string importFilter_ =
      "All Supported playlists|*.m3u;*.bsl;*.mpcpl;*.lap;*.pls;*.asx|M3U Playlist (*.m3u)|*.m3u|BSPlayer Playlist "
      "(*.bsl)|*.bsl|Media Player Classic Playlist (*.mpcpl)|.mpcpl|Light Alloy Playlist (*.lap)|*.lap|PLS Playlist "
      "(*.pls)|*.pls|Windows Media ASX Playlist (*.asx)|*.asx";
  std::string stringNotFound_ = "File not found";
  std::string stringFiles_ = "Files: ";
  std::string saveName_;
  bool refreshPending_ = false;
  bool refreshing_ = false;
  Sizing sizing_ = Sizing::None;
  bool dragging_ = false;
  QPoint dragFrom_;
  QElapsedTimer progressClock_;
};

// A dialog filter "Text|*.a;*.b|..." as Qt's "Text (*.a *.b);;...".
QString QtFilter(const std::string& filter);

}  // namespace playlist
