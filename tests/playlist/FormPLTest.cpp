// The playlist window on the offscreen platform: rows, menus and commands,
// language texts, dropped files, the skin's buttons, resizing and the default
// playlist saved when the window goes.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QUrl>

#include <filesystem>
#include <memory>

#include "PlaylistTestUtil.h"
#include "playlist/ui/FormPL.h"

using namespace playlist;
using namespace pltest;
using ::testing::ElementsAre;

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "playlist_ui_tests";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

struct Window {
  FakeInfo info;
  RecordingHost host;
  TPlaylist pl{info, host};
  std::unique_ptr<TFormPL> form;
  TempDir dir;
  Window() {
    App();
    host.programFolder = dir.Path() + "/";
    form = std::make_unique<TFormPL>(pl);
  }
  QTreeWidget* list() const { return form->ListView1(); }
  QString Cell(int row, int col) const { return list()->topLevelItem(row)->text(col); }
};

void Mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

}  // namespace

TEST(FormPL, RowsShowTheModelWithTheFileColumnHiddenAndThePlayingRowSilver) {
  Window w;
  std::string a = w.dir.Make("m/a.mp3"), b = w.dir.Make("m/b.ogg");
  w.info.Set(a, 61000, "Ann", "Song");
  w.info.Set(b, 2000);
  w.pl.AddFiles({a, b, "http://radio.example/x"});
  w.pl.PlayingIndex = 1;
  w.form->Refresh();
  ASSERT_EQ(w.list()->topLevelItemCount(), 3);
  EXPECT_EQ(w.Cell(0, 0), "1. ");
  EXPECT_EQ(w.Cell(0, 1), "Ann - Song");
  EXPECT_EQ(w.Cell(0, 2), "00:01:01");
  EXPECT_EQ(w.Cell(0, 3), QString::fromStdString(a));
  EXPECT_EQ(w.Cell(2, 1), "http://radio.example/x");
  EXPECT_TRUE(w.list()->isColumnHidden(3));
  EXPECT_TRUE(w.list()->isHeaderHidden());
  EXPECT_EQ(w.list()->topLevelItem(1)->foreground(1).color(), QColor(192, 192, 192));
  EXPECT_NE(w.list()->topLevelItem(0)->foreground(1).color(), QColor(192, 192, 192));
  EXPECT_EQ(w.form->LabelFiles()->text(), "Files: 3");
  EXPECT_EQ(w.form->LabelTimeTotal()->text(), "00:01:03");
  EXPECT_EQ(w.form->windowTitle(), "Playlist Editor");
}

TEST(FormPL, ModelChangesAreShownOnTheNextEventLoopTurn) {
  Window w;
  w.pl.AddFile("/m/x.mp3");
  EXPECT_EQ(w.list()->topLevelItemCount(), 0);
  QApplication::processEvents();
  EXPECT_EQ(w.list()->topLevelItemCount(), 1);
}

TEST(FormPL, MenusHoldTheirCommandsAndRandomIsHidden) {
  Window w;
  auto texts = [&](const char* menu) {
    std::vector<std::string> out;
    for (QAction* a : w.form->Menu(menu)->actions())
      out.push_back(a->isSeparator() ? "-" : a->isVisible() ? a->text().toStdString() : "(" + a->text().toStdString() + ")");
    return out;
  };
  EXPECT_THAT(texts("PMAdd"), ElementsAre("Add Files ...", "Add Folder ...", "Add Url ..."));
  EXPECT_THAT(texts("PMRemoveMenu"), ElementsAre("Remove Selected", "Remove All"));
  EXPECT_THAT(texts("PMSort"), ElementsAre("Sort by title", "Sort by path", "Sort by filename", "-", "Reverse", "(Random)"));
  EXPECT_THAT(texts("PMManage"), ElementsAre("Open Playlist", "Save Playlist", "-", "Import Playlist"));
  EXPECT_THAT(texts("PMEntry"), ElementsAre("Play", "Remove", "File Info"));
}

TEST(FormPL, LanguageTextsReplaceCaptionsHintsFiltersAndTheFilesPrefix) {
  Window w;
  for (const char* path : {"ListView1.Column[0].Caption", "ListView1.Column[1].Caption", "LabelTitle.Caption",
                           "ImageClose.Hint", "ImageAdd.Hint", "ImageRemove.Hint", "ImageSort.Hint",
                           "ImagePlaylist.Hint", "PMPlay.Caption", "PMRemove.Caption", "PMFileInfo.Caption",
                           "PMAddFiles.Caption", "PMAddFolder.Caption", "PMAddUrl.Caption", "PMRemoveSelected.Caption",
                           "PMRemoveAll.Caption", "PMSortTitle.Caption", "PMSortFilename.Caption",
                           "PMSortPath.Caption", "PMOpenPlaylist.Caption", "PMSavePlaylist.Caption",
                           "PMImportPlaylist.Caption", "OpenDialog1.Filter", "SaveDialog1.Filter",
                           "OpenDialogImport.Filter", "StringNotFound", "StringFiles"}) {
    std::string text;
    EXPECT_TRUE(w.form->GetLangText(path, text)) << path;
    w.form->SetLangText(path, std::string("x ") + path);
    EXPECT_TRUE(w.form->GetLangText(path, text));
    EXPECT_EQ(text, std::string("x ") + path);
  }
  std::string text;
  EXPECT_FALSE(w.form->GetLangText("NoSuch.Caption", text));
  EXPECT_EQ(w.form->Action("PMAddFiles")->text(), "x PMAddFiles.Caption");
  EXPECT_EQ(w.form->Button("ImageSort")->toolTip(), "x ImageSort.Hint");
  EXPECT_EQ(w.form->LabelTitle()->text(), "x LabelTitle.Caption");
  w.form->SetLangText("StringFiles", "Dateien : ");
  w.pl.AddFile("/m/x.mp3");
  w.pl.UpdateCounters();
  w.form->Refresh();
  EXPECT_EQ(w.form->LabelFiles()->text(), "Dateien : 1");
  // The filter reaches the dialog converted for Qt.
  std::string seen;
  w.form->ChooseOpenPlaylist = [&](const std::string& f) { seen = f; return std::string(); };
  w.form->SetLangText("OpenDialog1.Filter", "Orvella playlist (*.plf)|*.plf");
  w.form->OpenPlaylistClick();
  EXPECT_EQ(seen, "Orvella playlist (*.plf)|*.plf");
  EXPECT_EQ(QtFilter("All|*.m3u;*.pls|M3U Playlist (*.m3u)|*.m3u"), "All (*.m3u *.pls);;M3U Playlist (*.m3u)");
}

TEST(FormPL, AddCommandsUseTheMainWindowsDialogsAndClearReplaceOnAdd) {
  Window w;
  std::string a = w.dir.Make("m/a.mp3"), b = w.dir.Make("m/sub/b.wav");
  w.form->ChooseFiles = [&] { return std::vector<std::string>{b, a}; };
  w.form->Action("PMAddFiles")->trigger();
  EXPECT_THAT(Files(w.pl), ElementsAre(a, b));
  EXPECT_EQ(w.list()->topLevelItemCount(), 2);

  std::string start;
  w.host.SetLastPath("/last/");
  w.host.SetReplaceOnAdd(true);
  w.form->ChooseFolder = [&](const std::string& s) { start = s; return w.dir.File("m/sub"); };
  w.form->Action("PMAddFolder")->trigger();
  EXPECT_EQ(start, "/last/");
  EXPECT_FALSE(w.host.ReplaceOnAdd());
  EXPECT_THAT(Files(w.pl), ElementsAre(a, b, b));  // appended, not replaced

  bool prompted = false;
  w.host.SetReplaceOnAdd(true);
  w.form->OpenUrl = [&] {
    prompted = true;
    EXPECT_FALSE(w.host.ReplaceOnAdd());
    w.pl.AddFile("http://radio.example/x");
  };
  w.form->Action("PMAddUrl")->trigger();
  EXPECT_TRUE(prompted);
  EXPECT_EQ(w.list()->topLevelItemCount(), 4);
}

TEST(FormPL, SelectingInTheListRemovingAndTheDeleteKey) {
  Window w;
  for (int i = 0; i < 4; ++i) w.pl.AddFile("/m/" + std::to_string(i) + ".mp3");
  w.form->Refresh();
  w.list()->setCurrentItem(w.list()->topLevelItem(1));
  EXPECT_EQ(w.pl.SelectedIndex, 1);
  w.list()->topLevelItem(3)->setSelected(true);
  EXPECT_EQ(w.pl.SelectedIndex, 3);
  EXPECT_EQ(w.pl.SelectedCount(), 2);
  w.form->Action("PMRemoveSelected")->trigger();
  EXPECT_THAT(Files(w.pl), ElementsAre("/m/0.mp3", "/m/2.mp3"));
  EXPECT_EQ(w.Cell(1, 0), "2. ");
  EXPECT_TRUE(w.list()->topLevelItem(1)->isSelected());  // past the end: the last row

  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(w.list(), &del);
  EXPECT_THAT(Files(w.pl), ElementsAre("/m/0.mp3"));
  w.form->Action("PMRemoveAll")->trigger();
  EXPECT_EQ(w.list()->topLevelItemCount(), 0);
  EXPECT_EQ(w.form->LabelFiles()->text(), "Files: 0");
}

TEST(FormPL, SortMenuEntries) {
  Window w;
  w.pl.AppendEntry({"", "beta", "", "/z/Apple.mp3"});
  w.pl.AppendEntry({"", "Alpha", "", "/a/zebra.mp3"});
  w.form->Action("PMSortTitle")->trigger();
  EXPECT_EQ(w.Cell(0, 1), "Alpha");
  w.form->Action("PMSortFilename")->trigger();
  EXPECT_EQ(w.Cell(0, 1), "beta");
  w.form->Action("PMReverse")->trigger();
  EXPECT_EQ(w.Cell(0, 1), "Alpha");
  w.form->Action("PMSortPath")->trigger();
  EXPECT_EQ(w.Cell(0, 1), "Alpha");
  EXPECT_EQ(w.Cell(1, 0), "2. ");
}

TEST(FormPL, DoubleClickPlaysTheRowAndTheEntryMenuPlaysThePlayingIndex) {
  Window w;
  std::string a = w.dir.Make("m/a.mp3"), b = w.dir.Make("m/b.mp3");
  w.pl.AddFiles({a, b});
  w.form->Refresh();
  QTreeWidgetItem* item = w.list()->topLevelItem(1);
  w.list()->setCurrentItem(item);
  emit w.list()->itemDoubleClicked(item, 1);
  EXPECT_THAT(w.host.calls, ElementsAre("Stop", "SetCurrent 1 " + b, "Play"));
  EXPECT_EQ(w.pl.PlayingIndex, 1);
  EXPECT_EQ(w.list()->topLevelItem(1)->foreground(1).color(), QColor(192, 192, 192));
  w.host.calls.clear();
  w.list()->setCurrentItem(w.list()->topLevelItem(0));
  w.form->Action("PMPlay")->trigger();
  EXPECT_THAT(w.host.calls, ElementsAre("Play"));

  int info = -1;
  w.form->ShowFileInfo = [&](int i) { info = i; };
  w.form->Action("PMFileInfo")->trigger();
  EXPECT_EQ(info, 0);
}

TEST(FormPL, DroppedFilesAreAdded) {
  Window w;
  std::string a = w.dir.Make("m/a.mp3");
  w.dir.Make("m/folder/b.ogg");
  w.form->show();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(a)), QUrl::fromLocalFile(QString::fromStdString(w.dir.File("m/folder"))),
                QUrl::fromLocalFile("/x/readme.txt")});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.list()->viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.list()->viewport(), &drop);
  EXPECT_THAT(Files(w.pl), ElementsAre(a, w.dir.File("m/folder/b.ogg")));
  EXPECT_EQ(w.list()->topLevelItemCount(), 2);
}

TEST(FormPL, ManageMenuSavesOpensAndImports) {
  Window w;
  w.pl.AppendEntry({"", "T", "", "/x.mp3"});
  std::string proposed, filter;
  w.form->ChooseSavePlaylist = [&](const std::string& f, const std::string& p) {
    filter = f;
    proposed = p;
    return w.dir.File("mine.plf");
  };
  w.form->Action("PMSavePlaylist")->trigger();
  EXPECT_EQ(proposed, "Playlist.plf");
  EXPECT_EQ(filter, "Playlist File (*.plf)|*.plf");
  EXPECT_EQ(ReadAll(w.dir.File("mine.plf")), "T|/x.mp3|\r\n");
  w.form->Action("PMSavePlaylist")->trigger();
  EXPECT_EQ(proposed, w.dir.File("mine.plf"));  // the dialog keeps its name

  w.pl.RemoveAll();
  w.form->ChooseOpenPlaylist = [&](const std::string&) { return w.dir.File("mine.plf"); };
  w.form->Action("PMOpenPlaylist")->trigger();
  EXPECT_EQ(w.Cell(0, 1), "T");

  std::string m3u = w.dir.Make("l.m3u", "#EXTINF:1,Named\r\nsong.mp3\r\n");
  w.form->ChooseImportPlaylist = [&](const std::string& f) {
    filter = f;
    return m3u;
  };
  w.form->Action("PMImportPlaylist")->trigger();
  EXPECT_EQ(filter.rfind("All Supported playlists|*.m3u;*.bsl;*.mpcpl;*.lap;*.pls;*.asx|", 0), 0u);
  EXPECT_EQ(w.Cell(0, 1), "Named");
  EXPECT_EQ(w.Cell(0, 3), QString::fromStdString(w.dir.File("song.mp3")));
}

TEST(FormPL, SkinButtonsDrawTheirFrameForEachMouseState) {
  Window w;
  std::filesystem::create_directories(w.dir.File("skin"));
  QImage strip(72, 24, QImage::Format_RGB32);
  const QColor frames[3] = {Qt::red, Qt::green, Qt::blue};
  for (int f = 0; f < 3; ++f)
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x) strip.setPixelColor(f * 24 + x, y, frames[f]);
  ASSERT_TRUE(strip.save(QString::fromStdString(w.dir.File("skin/button_playlist_add.bmp")), "BMP"));
  w.form->LoadSkin(w.dir.File("skin"));
  TImageButton* add = w.form->Button("ImageAdd");
  auto shown = [&] { return add->pixmap().toImage().pixelColor(12, 12); };
  EXPECT_EQ(shown(), QColor(Qt::red));
  Mouse(add, QEvent::MouseMove, {5, 5}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(shown(), QColor(Qt::green));
  Mouse(add, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(shown(), QColor(Qt::blue));
  QPoint popupAt;
  add->onClick = [&](QPoint p) { popupAt = p; };
  Mouse(add, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(shown(), QColor(Qt::red));
  EXPECT_EQ(popupAt, add->mapToGlobal(QPoint(5, 5)));
  // Moving over the list puts the bottom buttons back to normal.
  Mouse(add, QEvent::MouseMove, {5, 5}, Qt::NoButton, Qt::NoButton);
  Mouse(w.list()->viewport(), QEvent::MouseMove, {5, 5}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(add->Frame(), 0);
}

TEST(FormPL, LayoutFollowsTheSizeAndTheBarsResizeWithinBounds) {
  Window w;
  w.form->resize(400, 500);
  w.form->show();
  EXPECT_EQ(w.list()->columnWidth(1), w.list()->width() - TFormPL::kNumWidth - TFormPL::kTimeWidth - 17);
  TImageButton* close = w.form->Button("ImageClose");
  EXPECT_EQ(close->geometry().right() + 1, 400 - 6);
  EXPECT_EQ(w.form->LabelTimeTotal()->geometry().right() + 1, 400 - 8);
  EXPECT_EQ(w.form->LabelFiles()->geometry().right() + 1, 400 - 96);
  EXPECT_FALSE(w.form->mask().isEmpty());

  QWidget* bottom = w.form->BottomBar();
  // Bottom edge: height = height + y - 43, only above 150.
  Mouse(bottom, QEvent::MouseButtonPress, {100, 40}, Qt::LeftButton, Qt::LeftButton);
  Mouse(bottom, QEvent::MouseMove, {100, 60}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.form->height(), 517);
  Mouse(bottom, QEvent::MouseMove, {100, -400}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.form->height(), 517);
  Mouse(bottom, QEvent::MouseButtonRelease, {100, 60}, Qt::LeftButton, Qt::NoButton);
  // Corner: width = x, only between 300 and 640.
  Mouse(bottom, QEvent::MouseButtonPress, {395, 40}, Qt::LeftButton, Qt::LeftButton);
  Mouse(bottom, QEvent::MouseMove, {450, 40}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.form->width(), 450);
  Mouse(bottom, QEvent::MouseMove, {700, 40}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.form->width(), 450);
  Mouse(bottom, QEvent::MouseButtonRelease, {450, 40}, Qt::LeftButton, Qt::NoButton);
  // Right bar: width = width + x.
  QWidget* right = w.form->RightBar();
  Mouse(right, QEvent::MouseButtonPress, {5, 50}, Qt::LeftButton, Qt::LeftButton);
  Mouse(right, QEvent::MouseMove, {-100, 50}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.form->width(), 350);
  Mouse(right, QEvent::MouseMove, {-100, 50}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.form->width(), 350);  // 250 would be too narrow
  Mouse(right, QEvent::MouseButtonRelease, {0, 50}, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(w.list()->columnWidth(1), w.list()->width() - TFormPL::kNumWidth - TFormPL::kTimeWidth - 17);

  // Dragging by the top bar moves the window by the pointer's displacement.
  const QPoint before = w.form->pos();
  QWidget* top = w.form->TopBar();
  Mouse(top, QEvent::MouseButtonPress, {50, 10}, Qt::LeftButton, Qt::LeftButton);
  Mouse(top, QEvent::MouseMove, {80, 30}, Qt::NoButton, Qt::LeftButton);
  Mouse(top, QEvent::MouseButtonRelease, {80, 30}, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(w.form->pos(), before + QPoint(30, 20));
}

TEST(FormPL, CloseHidesAndTellsTheMainWindowAndDestructionSavesTheDefaultPlaylist) {
  auto w = std::make_unique<Window>();
  bool closed = false;
  w->form->onClosed = [&] { closed = true; };
  w->form->show();
  Mouse(w->form->Button("ImageClose"), QEvent::MouseButtonPress, {3, 3}, Qt::LeftButton, Qt::LeftButton);
  Mouse(w->form->Button("ImageClose"), QEvent::MouseButtonRelease, {3, 3}, Qt::LeftButton, Qt::NoButton);
  EXPECT_TRUE(closed);
  EXPECT_FALSE(w->form->isVisible());
  w->pl.AppendEntry({"", "Kept", "", "/k.mp3"});
  const std::string def = w->dir.File("data/Default.plf");
  w->form.reset();
  EXPECT_EQ(ReadAll(def), "Kept|/k.mp3|\r\n");
}

TEST(FormPL, ALargeFolderShowsProgressInTheFilesLabel) {
  Window w;
  for (int i = 0; i < 300; ++i) w.dir.Make("many/" + std::to_string(i) + ".mp3");
  std::vector<QString> shown;
  w.pl.OnProgress = [&, inner = w.pl.OnProgress](const TAddProgress& p) {
    inner(p);
    shown.push_back(w.form->LabelFiles()->text());
  };
  w.pl.AddFolder(w.dir.File("many"));
  EXPECT_THAT(shown, ::testing::Contains(QString("Files: 256")));
  EXPECT_THAT(shown, ::testing::Contains(QString("Files: 300 / 300")));
  QApplication::processEvents();
  EXPECT_EQ(w.form->LabelFiles()->text(), "Files: 300");
}

TEST(FormPL, ShowPlayingMarksScrollsToAndColoursThePlayingRow) {
  Window w;
  for (int i = 0; i < 200; ++i) w.pl.AddFile("/m/" + std::to_string(i) + ".mp3");
  w.form->resize(372, 400);
  w.form->show();
  w.form->Refresh();
  w.pl.PlayingIndex = 150;
  w.form->ShowPlaying();
  QTreeWidgetItem* item = w.list()->topLevelItem(150);
  EXPECT_EQ(w.list()->currentItem(), item);
  EXPECT_FALSE(item->isSelected());  // the focus mark does not select
  EXPECT_TRUE(w.list()->viewport()->rect().intersects(w.list()->visualItemRect(item)));
  EXPECT_EQ(item->foreground(1).color(), QColor(192, 192, 192));
  EXPECT_NE(w.list()->topLevelItem(0)->foreground(1).color(), QColor(192, 192, 192));
}
