#include "playlist/ui/FormPL.h"

#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "playlist/Extensions.h"

namespace playlist {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

constexpr int kColNum = 0, kColTitle = 1, kColTime = 2, kColFile = 3;

}  // namespace

QString QtFilter(const std::string& filter) {
  QStringList parts = Q(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString desc = parts[i];
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    out << (desc.contains('(') ? desc : desc + " (" + patterns + ")");
  }
  return out.join(";;");
}

// ---- TImageButton ----

TImageButton::TImageButton(const QString& hint, QSize size, QWidget* parent) : QLabel(parent) {
  setToolTip(hint);
  setFixedSize(size);
  setMouseTracking(true);
  setCursor(Qt::PointingHandCursor);
  setAlignment(Qt::AlignCenter);
  setText(hint.left(1));
}

void TImageButton::SetStrip(const QPixmap& strip) {
  strip_ = strip;
  PaintButtonState(frame_);
}

void TImageButton::PaintButtonState(int frame) {
  frame_ = frame;
  if (strip_.isNull()) return;
  const int w = width(), h = height();
  QPixmap pic(w, h);
  pic.fill(Qt::transparent);
  QPainter p(&pic);
  p.drawPixmap(0, 0, strip_, frame * w, 0, w, h);
  p.end();
  setPixmap(pic);
}

void TImageButton::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) PaintButtonState(2);
}

void TImageButton::mouseMoveEvent(QMouseEvent* e) {
  if (e->buttons() == Qt::NoButton && frame_ != 1) PaintButtonState(1);
}

void TImageButton::mouseReleaseEvent(QMouseEvent* e) {
  PaintButtonState(0);
  if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && onClick)
    onClick(e->globalPosition().toPoint());
}

// ---- TFormPL ----

TFormPL::TFormPL(TPlaylist& model, QWidget* parent) : QWidget(parent), model_(model) {
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setWindowTitle("Playlist Editor");
  setMouseTracking(true);
  auto bar = [this] {
    auto* l = new QLabel(this);
    l->setScaledContents(true);  // the skin bitmaps stretch over the borders
    l->setMouseTracking(true);
    l->setAutoFillBackground(true);
    l->installEventFilter(this);
    return l;
  };
  top_ = bar();
  bottom_ = bar();
  left_ = bar();
  right_ = bar();
  QPalette barPal = top_->palette();
  barPal.setColor(QPalette::Window, QColor(40, 40, 40));
  for (QLabel* b : {top_, bottom_, left_, right_}) b->setPalette(barPal);

  labelTitle_ = new QLabel("PLAYLIST", top_);
  labelTitle_->installEventFilter(this);
  labelFiles_ = new QLabel(bottom_);
  labelTotal_ = new QLabel("00:00:00", bottom_);
  for (QLabel* l : {labelTitle_, labelFiles_, labelTotal_}) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(192, 192, 192));
    l->setPalette(p);
  }
  labelFiles_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  labelTotal_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  buttons_["ImageClose"] = new TImageButton("Close", QSize(15, 15), top_);
  buttons_["ImageAdd"] = new TImageButton("Add", QSize(24, 24), bottom_);
  buttons_["ImageRemove"] = new TImageButton("Remove", QSize(24, 24), bottom_);
  buttons_["ImageSort"] = new TImageButton("Sort", QSize(24, 24), bottom_);
  buttons_["ImagePlaylist"] = new TImageButton("Manage", QSize(24, 24), bottom_);

  list_ = new QTreeWidget(this);
  list_->setColumnCount(4);
  list_->setHeaderLabels({"Num", "Title", "Time", "File"});
  list_->setHeaderHidden(true);
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setUniformRowHeights(true);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->header()->setStretchLastSection(false);
  list_->setColumnWidth(kColNum, kNumWidth);
  list_->setColumnWidth(kColTitle, 255);
  list_->setColumnWidth(kColTime, kTimeWidth);
  list_->setColumnHidden(kColFile, true);  // width 0: only played, sorted and saved
  list_->setAcceptDrops(true);
  list_->viewport()->setAcceptDrops(true);
  list_->viewport()->installEventFilter(this);
  list_->viewport()->setMouseTracking(true);
  list_->installEventFilter(this);

  BuildMenus();
  BindTexts();

  buttons_["ImageClose"]->onClick = [this](QPoint) { close(); };
  buttons_["ImageAdd"]->onClick = [this](QPoint p) { PopUp(menus_["PMAdd"], p); };
  buttons_["ImageRemove"]->onClick = [this](QPoint p) { PopUp(menus_["PMRemoveMenu"], p); };
  buttons_["ImageSort"]->onClick = [this](QPoint p) { PopUp(menus_["PMSort"], p); };
  buttons_["ImagePlaylist"]->onClick = [this](QPoint p) { PopUp(menus_["PMManage"], p); };

  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { SyncSelectionFromView(); });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*, int) {
    SyncSelectionFromView();
    model_.PlaySelected();
    Refresh();
  });
  connect(list_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { menus_["PMEntry"]->popup(list_->viewport()->mapToGlobal(pos)); });

  ChooseFiles = [this] {
    std::vector<std::string> out;
    for (const QString& f : QFileDialog::getOpenFileNames(this, QString(), Q(model_.Host().LastPath())))
      out.push_back(S(f));
    return out;
  };
  ChooseFolder = [this](const std::string& start) {
    return S(QFileDialog::getExistingDirectory(this, QString(), Q(start)));
  };
  ChooseOpenPlaylist = [this](const std::string& filter) {
    return S(QFileDialog::getOpenFileName(this, QString(), QString(), QtFilter(filter)));
  };
  ChooseSavePlaylist = [this](const std::string& filter, const std::string& proposed) {
    return S(QFileDialog::getSaveFileName(this, QString(), Q(proposed), QtFilter(filter)));
  };
  ChooseImportPlaylist = [this](const std::string& filter) {
    return S(QFileDialog::getOpenFileName(this, QString(), QString(), QtFilter(filter)));
  };

  model_.OnChanged = [this] { ScheduleRefresh(); };
  model_.OnProgress = [this](const TAddProgress& p) { ShowProgress(p); };
  model_.SetFilesPrefix(stringFiles_);
  resize(372, 659);
  Refresh();
}

TFormPL::~TFormPL() {
  model_.OnChanged = nullptr;
  model_.OnProgress = nullptr;
  if (SaveOnDestroy) model_.SaveDefaultPlaylist();
}

QAction* TFormPL::AddAction(QMenu* menu, const std::string& name, const QString& text, std::function<void()> run) {
  QAction* a = menu->addAction(text);
  a->setObjectName(Q(name));
  connect(a, &QAction::triggered, this, [run = std::move(run)] { run(); });
  actions_[name] = a;
  return a;
}

void TFormPL::BuildMenus() {
  QMenu* add = menus_["PMAdd"] = new QMenu(this);
  AddAction(add, "PMAddFiles", "Add Files ...", [this] { AddFilesClick(); });
  AddAction(add, "PMAddFolder", "Add Folder ...", [this] { AddFolderClick(); });
  AddAction(add, "PMAddUrl", "Add Url ...", [this] { AddUrlClick(); });
  QMenu* remove = menus_["PMRemoveMenu"] = new QMenu(this);
  AddAction(remove, "PMRemoveSelected", "Remove Selected", [this] { RemoveSelectedClick(); });
  AddAction(remove, "PMRemoveAll", "Remove All", [this] { RemoveAllClick(); });
  QMenu* sort = menus_["PMSort"] = new QMenu(this);
  AddAction(sort, "PMSortTitle", "Sort by title", [this] { SortClick("title"); });
  AddAction(sort, "PMSortPath", "Sort by path", [this] { SortClick("path"); });
  AddAction(sort, "PMSortFilename", "Sort by filename", [this] { SortClick("filename"); });
  sort->addSeparator();
  AddAction(sort, "PMReverse", "Reverse", [this] { ReverseClick(); });
  AddAction(sort, "PMRandom", "Random", [this] { RandomClick(); })->setVisible(false);
  QMenu* manage = menus_["PMManage"] = new QMenu(this);
  AddAction(manage, "PMOpenPlaylist", "Open Playlist", [this] { OpenPlaylistClick(); });
  AddAction(manage, "PMSavePlaylist", "Save Playlist", [this] { SavePlaylistClick(); });
  manage->addSeparator();
  AddAction(manage, "PMImportPlaylist", "Import Playlist", [this] { ImportPlaylistClick(); });
  QMenu* entry = menus_["PMEntry"] = new QMenu(this);
  AddAction(entry, "PMPlay", "Play", [this] { PlayClick(); });
  AddAction(entry, "PMRemove", "Remove", [this] { RemoveSelectedClick(); });
  AddAction(entry, "PMFileInfo", "File Info", [this] { FileInfoClick(); });
}

void TFormPL::BindTexts() {
  auto str = [](std::string& field) {
    return Text{[&field] { return field; }, [&field](const std::string& v) { field = v; }};
  };
  texts_["Caption"] = {[this] { return S(windowTitle()); }, [this](const std::string& v) { setWindowTitle(Q(v)); }};
  for (int c = 0; c < 4; ++c) {
    texts_["ListView1.Column[" + std::to_string(c) + "].Caption"] = {
        [this, c] { return S(list_->headerItem()->text(c)); },
        [this, c](const std::string& v) { list_->headerItem()->setText(c, Q(v)); }};
  }
  texts_["LabelTitle.Caption"] = {[this] { return S(labelTitle_->text()); },
                                  [this](const std::string& v) {
                                    labelTitle_->setText(Q(v));
                                    labelTitle_->adjustSize();
                                  }};
  for (auto& [name, button] : buttons_) {
    TImageButton* b = button;
    texts_[name + ".Hint"] = {[b] { return S(b->toolTip()); }, [b](const std::string& v) { b->setToolTip(Q(v)); }};
  }
  for (auto& [name, action] : actions_) {
    QAction* a = action;
    texts_[name + ".Caption"] = {[a] { return S(a->text()); }, [a](const std::string& v) { a->setText(Q(v)); }};
  }
  texts_["OpenDialog1.Filter"] = str(openFilter_);
  texts_["SaveDialog1.Filter"] = str(saveFilter_);
  texts_["OpenDialogImport.Filter"] = str(importFilter_);
  texts_["StringNotFound"] = str(stringNotFound_);
  texts_["StringFiles"] = {[this] { return stringFiles_; },
                           [this](const std::string& v) {
                             stringFiles_ = v;
                             model_.SetFilesPrefix(v);
                             model_.UpdateCounters();
                           }};
}

bool TFormPL::GetLangText(const std::string& path, std::string& text) const {
  auto it = texts_.find(path);
  if (it == texts_.end()) return false;
  text = it->second.get();
  return true;
}

void TFormPL::SetLangText(const std::string& path, const std::string& text) {
  auto it = texts_.find(path);
  if (it != texts_.end()) it->second.set(text);
}

std::vector<std::string> TFormPL::LangPaths() const {
  std::vector<std::string> out;
  for (const auto& [path, t] : texts_) out.push_back(path);
  return out;
}

TImageButton* TFormPL::Button(const std::string& name) const {
  auto it = buttons_.find(name);
  return it == buttons_.end() ? nullptr : it->second;
}

QMenu* TFormPL::Menu(const std::string& name) const {
  auto it = menus_.find(name);
  return it == menus_.end() ? nullptr : it->second;
}

QAction* TFormPL::Action(const std::string& name) const {
  auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}

// ---- rows ----

void TFormPL::ScheduleRefresh() {
  // Adds change the model once per file: the rows are rebuilt once per event loop turn.
  if (refreshPending_) return;
  refreshPending_ = true;
  QTimer::singleShot(0, this, [this] {
    if (refreshPending_) Refresh();
  });
}

void TFormPL::Refresh() {
  refreshPending_ = false;
  refreshing_ = true;
  const QColor silver(192, 192, 192);
  const QColor other = palette().color(QPalette::Inactive, QPalette::Highlight);
  const auto& entries = model_.Entries();
  const int n = static_cast<int>(entries.size());
  list_->setUpdatesEnabled(false);
  // Rows are updated in place and only new ones are created, so showing a
  // growing list now and then during a long add stays cheap.
  if (n == 0) list_->clear();
  while (list_->topLevelItemCount() > n) delete list_->takeTopLevelItem(list_->topLevelItemCount() - 1);
  auto fill = [&](QTreeWidgetItem* item, int i) {
    const PlaylistEntry& e = entries[static_cast<size_t>(i)];
    const std::string* cells[4] = {&e.Num, &e.Title, &e.Time, &e.File};
    for (int col = 0; col < 4; ++col) {
      const QString text = Q(*cells[col]);
      if (item->text(col) != text) item->setText(col, text);
    }
    const QColor c = i == model_.PlayingIndex ? silver : other;
    if (item->foreground(0).color() != c)
      for (int col = 0; col < 4; ++col) item->setForeground(col, c);
  };
  const int existing = list_->topLevelItemCount();
  for (int i = 0; i < existing; ++i) fill(list_->topLevelItem(i), i);
  QList<QTreeWidgetItem*> fresh;
  fresh.reserve(n - existing);
  for (int i = existing; i < n; ++i) {
    auto* item = new QTreeWidgetItem;
    item->setTextAlignment(kColTime, Qt::AlignRight | Qt::AlignVCenter);
    fill(item, i);
    fresh.push_back(item);
  }
  list_->addTopLevelItems(fresh);
  for (int i = 0; i < n; ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    if (item->isSelected() != entries[static_cast<size_t>(i)].Selected) item->setSelected(entries[static_cast<size_t>(i)].Selected);
  }
  if (model_.FocusIndex >= 0 && model_.FocusIndex < n)
    list_->setCurrentItem(list_->topLevelItem(model_.FocusIndex), 0, QItemSelectionModel::NoUpdate);
  list_->setUpdatesEnabled(true);
  labelFiles_->setText(Q(model_.FilesLabel()));
  labelTotal_->setText(Q(model_.TotalTimeLabel()));
  labelFiles_->adjustSize();
  labelTotal_->adjustSize();
  refreshing_ = false;
  resizeEvent(nullptr);
}

void TFormPL::ShowPlaying() {
  model_.FocusPlaying();
  Refresh();
  if (model_.FocusIndex >= 0) list_->scrollToItem(list_->topLevelItem(model_.FocusIndex));
}

void TFormPL::SyncSelectionFromView() {
  if (refreshing_) return;
  // SelectedIndex follows the row that most recently turned selected.
  const int current = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    const bool now = list_->topLevelItem(i)->isSelected();
    const bool before = model_.Entry(i).Selected;
    if (now != before && i != current) model_.SetSelected(i, now);
  }
  if (current >= 0 && current < model_.Count() && list_->topLevelItem(current)->isSelected() != model_.Entry(current).Selected)
    model_.SetSelected(current, list_->topLevelItem(current)->isSelected());
}

void TFormPL::ShowProgress(const TAddProgress& p) {
  QString text = Q(stringFiles_) + QString::number(p.done);
  if (p.total) text += " / " + QString::number(p.total);
  labelFiles_->setText(text);
  labelFiles_->adjustSize();
  resizeEvent(nullptr);
  // Keep the window painted while a large folder is read, a few times a second;
  // input waits until the add ends.
  if (progressClock_.isValid() && progressClock_.elapsed() < 100) return;
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  progressClock_.start();
}

// ---- commands ----

void TFormPL::AddFilesClick() {
  std::vector<std::string> files = ChooseFiles ? ChooseFiles() : std::vector<std::string>{};
  if (!files.empty()) model_.AddFiles(files);
  Refresh();
}

void TFormPL::AddFolderClick() {
  model_.Host().SetReplaceOnAdd(false);
  std::string folder = ChooseFolder ? ChooseFolder(model_.Host().LastPath()) : std::string();
  if (!folder.empty()) model_.AddFolder(folder);
  Refresh();
}

void TFormPL::AddUrlClick() {
  model_.Host().SetReplaceOnAdd(false);
  if (OpenUrl) OpenUrl();
  Refresh();
}

void TFormPL::RemoveSelectedClick() {
  SyncSelectionFromView();
  model_.RemoveSelected();
  Refresh();
}

void TFormPL::RemoveAllClick() {
  model_.RemoveAll();
  Refresh();
}

void TFormPL::SortClick(const std::string& key) {
  model_.Sort(key);
  Refresh();
}

void TFormPL::ReverseClick() {
  model_.Reverse();
  Refresh();
}

void TFormPL::RandomClick() {
  model_.Random();
  Refresh();
}

void TFormPL::OpenPlaylistClick() {
  std::string file = ChooseOpenPlaylist ? ChooseOpenPlaylist(openFilter_) : std::string();
  if (!file.empty()) model_.LoadPlaylist(file);
  Refresh();
}

void TFormPL::SavePlaylistClick() {
  std::string file = ChooseSavePlaylist ? ChooseSavePlaylist(saveFilter_, saveName_.empty() ? "Playlist.plf" : saveName_)
                                        : std::string();
  if (file.empty()) return;
  saveName_ = file;
  model_.SavePlaylist(file);
}

void TFormPL::ImportPlaylistClick() {
  std::string file = ChooseImportPlaylist ? ChooseImportPlaylist(importFilter_) : std::string();
  if (!file.empty()) model_.ImportPlaylist(file);
  Refresh();
}

void TFormPL::PlayClick() { model_.Host().Play(); }

void TFormPL::FileInfoClick() {
  if (model_.Empty()) return;
  if (model_.SelectedIndex < 0 || model_.SelectedIndex >= model_.Count()) return;
  const std::string file = model_.Entry(model_.SelectedIndex).File;
  if (!platform::FileExists(file)) return;
  // The tag window may still be open with edits for another file: only the file it is about to
  // show takes over its model, or its OK would write those edits against this file's tags.
  const bool audio = IsAudioFile(file);
  TTagEdit other;
  TTagEdit& edit = audio ? tagEdit_ : other;
  edit.Load(file);
  if (!edit.V1Read()) platform::ShowMessage("Can't read ID3v1 tags", platform::kCaptionError, platform::MsgIcon::Error);
  if (!edit.V2Read()) platform::ShowMessage("Can't read ID3v2 tags", platform::kCaptionError, platform::MsgIcon::Error);
  if (audio && ShowFileInfo) ShowFileInfo(model_.SelectedIndex);
  else if (IsVideoFile(file) && ShowVideoInfo) ShowVideoInfo(model_.SelectedIndex);
}

bool TFormPL::SaveTagEdits(const TTagFields& v1, const TTagFields& v2) {
  std::string bad;
  const std::string& file = tagEdit_.EditFile();
  switch (tagEdit_.Save(v1, v2, &bad)) {
    case TTagEdit::SaveResult::BadTrack:
      platform::ShowMessage("'" + bad + "' is not a valid integer value", platform::kCaptionError,
                            platform::MsgIcon::Error);
      return false;
    case TTagEdit::SaveResult::V1Failed:
      platform::ShowMessage("Can't write ID3v1 tags\n" + file, platform::kCaptionError, platform::MsgIcon::Error);
      return true;
    case TTagEdit::SaveResult::V2Failed:
      platform::ShowMessage("Can't write ID3v2 tags\n" + file, platform::kCaptionError, platform::MsgIcon::Error);
      return true;
    default:
      return true;
  }
}

void TFormPL::DropFiles(const std::vector<std::string>& files) {
  if (files.empty()) return;
  model_.AddFiles(files);
  Refresh();
}

// ---- skin, shape and layout ----

void TFormPL::LoadSkin(const std::string& skinFolder) {
  const std::string dir = platform::WithSlash(skinFolder);
  auto load = [&dir](const char* name, auto&& use) {
    const std::string path = dir + name;
    if (!platform::FileExists(path)) return;
    QPixmap pm(Q(path));
    if (!pm.isNull()) use(pm);
  };
  load("bg_playlist_left.bmp", [this](const QPixmap& p) { left_->setPixmap(p); });
  load("bg_playlist_right.bmp", [this](const QPixmap& p) { right_->setPixmap(p); });
  load("bg_playlist_top.bmp", [this](const QPixmap& p) { top_->setPixmap(p); });
  load("bg_playlist_bottom.bmp", [this](const QPixmap& p) { bottom_->setPixmap(p); });
  load("button_close.bmp", [this](const QPixmap& p) { buttons_["ImageClose"]->SetStrip(p); });
  load("button_playlist_add.bmp", [this](const QPixmap& p) { buttons_["ImageAdd"]->SetStrip(p); });
  load("button_playlist_remove.bmp", [this](const QPixmap& p) { buttons_["ImageRemove"]->SetStrip(p); });
  load("button_playlist_sort.bmp", [this](const QPixmap& p) { buttons_["ImageSort"]->SetStrip(p); });
  load("button_playlist_manage.bmp", [this](const QPixmap& p) { buttons_["ImagePlaylist"]->SetStrip(p); });
}

void TFormPL::ApplyShape() {
  QBitmap mask(size());
  mask.fill(Qt::color0);
  QPainter p(&mask);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setBrush(Qt::color1);
  p.setPen(Qt::color1);
  p.drawRoundedRect(QRect(QPoint(0, 0), size()).adjusted(0, 0, -1, -1), 6, 6);
  p.end();
  setMask(mask);
}

void TFormPL::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  ApplyShape();
  QPalette p = list_->palette();
  p.setColor(QPalette::Base, QColor(64, 64, 64));
  list_->setPalette(p);
}

void TFormPL::resizeEvent(QResizeEvent* e) {
  if (e) QWidget::resizeEvent(e);
  const int w = width(), h = height();
  top_->setGeometry(0, 0, w, kTopHeight);
  bottom_->setGeometry(0, h - kBottomHeight, w, kBottomHeight);
  left_->setGeometry(0, kTopHeight, kSideWidth, h - kTopHeight - kBottomHeight);
  right_->setGeometry(w - kSideWidth, kTopHeight, kSideWidth, h - kTopHeight - kBottomHeight);
  list_->setGeometry(kSideWidth, kTopHeight, w - 2 * kSideWidth, h - kTopHeight - kBottomHeight);
  list_->setColumnWidth(kColTitle, std::max(0, list_->width() - kNumWidth - kTimeWidth - 17));
  labelTitle_->adjustSize();
  labelTitle_->move((w - labelTitle_->width()) / 2, (kTopHeight - labelTitle_->height()) / 2);
  TImageButton* close = buttons_["ImageClose"];
  close->move(w - 6 - close->width(), (kTopHeight - close->height()) / 2);
  int x = 10;
  for (const char* name : {"ImageAdd", "ImageRemove", "ImageSort", "ImagePlaylist"}) {
    TImageButton* b = buttons_[name];
    b->move(x, (kBottomHeight - b->height()) / 2);
    x += b->width() + 4;
  }
  labelFiles_->move(w - 96 - labelFiles_->width(), (kBottomHeight - labelFiles_->height()) / 2);
  labelTotal_->move(w - 8 - labelTotal_->width(), (kBottomHeight - labelTotal_->height()) / 2);
  if (e) ApplyShape();
}

void TFormPL::closeEvent(QCloseEvent* e) {
  QWidget::closeEvent(e);
  if (e->isAccepted() && onClosed) onClosed();
}

void TFormPL::PopUp(QMenu* menu, QPoint globalPos) { menu->popup(globalPos + QPoint(5, 5)); }

void TFormPL::ResetBottomButtons() {
  for (const char* name : {"ImageAdd", "ImageRemove", "ImageSort", "ImagePlaylist"})
    if (buttons_[name]->Frame() != 0) buttons_[name]->PaintButtonState(0);
}

bool TFormPL::BarMouse(QWidget* bar, QEvent* e) {
  auto* me = static_cast<QMouseEvent*>(e);
  const QPoint pos = me->position().toPoint();
  const bool isTop = bar == top_ || bar == labelTitle_;
  if (e->type() == QEvent::MouseButtonPress && me->button() == Qt::LeftButton) {
    if (isTop) {
      dragging_ = true;
      dragFrom_ = pos;
      return true;
    }
    if (bar == bottom_ && pos.y() >= bar->height() - 8)
      sizing_ = pos.x() >= bar->width() - 8 ? Sizing::Corner : Sizing::Bottom;
    else if (bar == right_ && pos.x() >= bar->width() - 8)
      sizing_ = Sizing::Right;
    return sizing_ != Sizing::None;
  }
  if (e->type() == QEvent::MouseButtonRelease) {
    dragging_ = false;
    sizing_ = Sizing::None;
    return false;
  }
  if (e->type() != QEvent::MouseMove) return false;
  if (isTop) {
    if (dragging_ && (me->buttons() & Qt::LeftButton)) move(this->pos() + (pos - dragFrom_));
    else buttons_["ImageClose"]->PaintButtonState(0);
    return dragging_;
  }
  if (sizing_ == Sizing::None) {
    if (bar == bottom_) {
      ResetBottomButtons();
      bar->setCursor(pos.y() >= bar->height() - 8 ? (pos.x() >= bar->width() - 8 ? Qt::SizeFDiagCursor : Qt::SizeVerCursor)
                                                  : Qt::ArrowCursor);
    } else if (bar == right_) {
      bar->setCursor(pos.x() >= bar->width() - 8 ? Qt::SizeHorCursor : Qt::ArrowCursor);
    }
    return false;
  }
  auto widthOk = [](int nw) { return nw > 300 && nw < 640; };
  if (sizing_ == Sizing::Bottom) {
    const int nh = height() + pos.y() - kBottomHeight;
    if (nh > 150) resize(width(), nh);
  } else if (sizing_ == Sizing::Corner) {
    if (widthOk(pos.x())) resize(pos.x(), height());
  } else if (sizing_ == Sizing::Right) {
    const int nw = width() + pos.x();
    if (widthOk(nw)) resize(nw, height());
  }
  return true;
}

bool TFormPL::eventFilter(QObject* watched, QEvent* e) {
  if (!list_) return QWidget::eventFilter(watched, e);  // still being built
  const QEvent::Type t = e->type();
  const bool mouse = t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease || t == QEvent::MouseMove;
  if (mouse && (watched == top_ || watched == labelTitle_ || watched == bottom_ || watched == right_))
    return BarMouse(static_cast<QWidget*>(watched), e);
  if (watched == list_->viewport()) {
    if (t == QEvent::MouseMove) ResetBottomButtons();
    if (t == QEvent::DragEnter || t == QEvent::DragMove) {
      auto* de = static_cast<QDropEvent*>(e);
      if (de->mimeData()->hasUrls()) {
        de->acceptProposedAction();
        return true;
      }
    }
    if (t == QEvent::Drop) {
      auto* de = static_cast<QDropEvent*>(e);
      std::vector<std::string> files;
      for (const QUrl& u : de->mimeData()->urls())
        if (u.isLocalFile()) files.push_back(S(u.toLocalFile()));
      de->acceptProposedAction();
      DropFiles(files);
      return true;
    }
  }
  if (watched == list_ && t == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Delete) {
    RemoveSelectedClick();
    return true;
  }
  return QWidget::eventFilter(watched, e);
}

}  // namespace playlist
