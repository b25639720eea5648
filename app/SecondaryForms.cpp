#include "app/SecondaryForms.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Main.h"
#include "playlist/Extensions.h"

namespace app {

namespace {
std::string Std(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

QUrl LinkTarget(const std::string& text) {
  const QString t = Q(text).trimmed();
  if (t.isEmpty()) return {};
  QUrl url(t, QUrl::StrictMode);
  if (!url.isValid()) return {};
  const QString scheme = url.scheme().toLower();
  if (scheme == "http" || scheme == "https") return url.host().isEmpty() ? QUrl() : url;
  if (scheme == "mailto") return url.path().isEmpty() ? QUrl() : url;
  return {};
}

std::function<bool(const QUrl&)>& LinkOpener() {
  static std::function<bool(const QUrl&)> opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  return opener;
}

bool OpenLink(const std::string& text) {
  const QUrl url = LinkTarget(text);
  if (url.isEmpty() || !LinkOpener()) return false;
  return LinkOpener()(url);
}

// ---------------------------------------------------------------------------

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent, bool mail) : QLabel(text, parent), mail_(mail) {
  setCursor(Qt::PointingHandCursor);
  setStyleSheet("color: #1b6fd8; text-decoration: underline;");
  setTextFormat(Qt::PlainText);  // a language file's text is shown, never interpreted
}

QUrl TLinkLabel::Target() const {
  const std::string t = Std(text().trimmed());
  // A bare e-mail address is written to; anything with a scheme of its own goes through the same check.
  if (mail_ && !t.empty() && t.find(':') == std::string::npos) return LinkTarget("mailto:" + t);
  return LinkTarget(t);
}

void TLinkLabel::mousePressEvent(QMouseEvent* e) {
  QLabel::mousePressEvent(e);
  if (e->button() != Qt::LeftButton) return;
  const QUrl url = Target();
  if (!url.isEmpty() && LinkOpener()) LinkOpener()(url);
}

// ---------------------------------------------------------------------------

TFormSettings::TFormSettings(TSettings& settings, std::function<void(bool)> setTrayIcon, QWidget* parent)
    : TBaseForm("FormSettings", "Settings", parent), settings_(settings), setTrayIcon_(std::move(setTrayIcon)) {
  setWindowFlags(Qt::Dialog);
  resize(380, 330);
  pages_ = new QTabWidget(body_);
  pages_->setObjectName("PageControl1");
  body_->layout()->addWidget(pages_);
  auto page = [this](const char* name, const char* path, const QString& caption) {
    auto* w = new QWidget(pages_);
    w->setObjectName(name);
    const int index = pages_->addTab(w, caption);
    if (path)
      Bind(path, [this, index] { return Std(pages_->tabText(index)); },
           [this, index](const std::string& t) { pages_->setTabText(index, Q(t)); });
    return w;
  };

  // General.
  QWidget* general = page("TabSheetGeneral", "TabSheetGeneral.Caption", "General");
  auto* gl = new QVBoxLayout(general);
  cbStayOnTop_ = BindCheck("cbStayOnTop.Caption", "stay on top");
  cbTrayIcon_ = BindCheck("cbTrayIcon.Caption", "tray icon");
  gl->addWidget(cbStayOnTop_);
  gl->addWidget(cbTrayIcon_);
  gl->addStretch(1);
  // The stay-on-top box shows the stored value and changes nothing: the
  // setting is written back as it was read.
  QObject::connect(cbTrayIcon_, &QCheckBox::toggled, this, [this](bool on) {
    if (filling_) return;
    settings_.trayIcon = on;
    if (setTrayIcon_) setTrayIcon_(on);
  });

  // Audio: nothing to set yet.
  page("TabSheetAudio", nullptr, "Audio");

  // Video: the picture controls, driven by video playback.
  QWidget* video = page("TabSheetVideo", "TabSheetVideo.Caption", "Video");
  auto* vl = new QVBoxLayout(video);
  picture_ = new QWidget(video);
  picture_->setObjectName("PanelPicture");
  auto* grid = new QGridLayout(picture_);
  const std::pair<const char*, const char*> controls[] = {
      {"LabelBrightness", "Brightness"}, {"LabelContrast", "Contrast"}, {"LabelHue", "Hue"},
      {"LabelSaturation", "Saturation"}, {"LabelPosX", "Position X"},   {"LabelPosY", "Position Y"},
      {"LabelSizeX", "Width"},           {"LabelSizeY", "Height"}};
  int row = 0;
  for (auto [name, caption] : controls) {
    QLabel* l = BindLabel(std::string(name) + ".Caption", caption);
    l->setParent(picture_);
    auto* s = new QSlider(Qt::Horizontal, picture_);
    s->setObjectName(QString(name).mid(5).prepend("tb"));
    grid->addWidget(l, row, 0);
    grid->addWidget(s, row, 1);
    ++row;
  }
  QCheckBox* aspect = BindCheck("cbAspectRatio.Caption", "Keep aspect ratio");
  aspect->setParent(picture_);
  grid->addWidget(aspect, row, 0, 1, 2);
  picture_->setEnabled(false);
  vl->addWidget(picture_);
  vl->addStretch(1);

  // File Associations.
  QWidget* assoc = page("TabSheetAssociations", "TabSheetAssociations.Caption", "File Associations");
  auto* al = new QVBoxLayout(assoc);
  auto* group = new QGroupBox("File types", assoc);
  group->setObjectName("gbFiles");
  Bind("gbFiles.Caption", [group] { return Std(group->title()); },
       [group](const std::string& t) { group->setTitle(Q(t)); });
  auto* gbl = new QHBoxLayout(group);
  files_ = new QListWidget(group);
  files_->setObjectName("ListViewFiles");
  files_->setFlow(QListView::TopToBottom);
  files_->setWrapping(true);
  files_->setResizeMode(QListView::Adjust);
  for (const char* ext : playlist::PlayableExtensions) {
    auto* item = new QListWidgetItem(QString::fromLatin1(ext), files_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  BindStored("ListViewFiles.Column[0].Caption", "File Ext");
  gbl->addWidget(files_, 1);
  auto* buttons = new QVBoxLayout;
  QPushButton* check = BindButton("ButtonCheck.Caption", "Check All");
  QPushButton* uncheck = BindButton("ButtonUncheck.Caption", "Uncheck all");
  QPushButton* associate = BindButton("ButtonAssociate.Caption", "Associate");
  for (QPushButton* b : {check, uncheck, associate}) buttons->addWidget(b);
  buttons->addStretch(1);
  gbl->addLayout(buttons);
  al->addWidget(group);
  auto tickAll = [this](bool on) {
    for (int i = 0; i < files_->count(); ++i) files_->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  };
  QObject::connect(check, &QPushButton::clicked, this, [tickAll] { tickAll(true); });
  QObject::connect(uncheck, &QPushButton::clicked, this, [tickAll] { tickAll(false); });
  QObject::connect(associate, &QPushButton::clicked, this, [this] { Associate(); });

  QObject::connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
    if (!filling_) settings_.activeTab = index;
  });
  AddCloseButton("ButtonClose.Caption", "Close");
}

void TFormSettings::showEvent(QShowEvent* e) {
  filling_ = true;
  const int tab = settings_.activeTab;
  // A stored page that does not exist shows the first one.
  pages_->setCurrentIndex(tab >= 0 && tab < pages_->count() ? tab : 0);
  cbStayOnTop_->setChecked(settings_.stayOnTop);
  cbTrayIcon_->setChecked(settings_.trayIcon);
  for (int i = 0; i < files_->count(); ++i) {
    QListWidgetItem* item = files_->item(i);
    const bool on = settings_.ExtsAss.find(Std(item->text())) != std::string::npos;
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
  filling_ = false;
  TBaseForm::showEvent(e);
}

std::string TFormSettings::TickedExtensions() const {
  std::string out;
  for (int i = 0; i < files_->count(); ++i)
    if (files_->item(i)->checkState() == Qt::Checked) out += Std(files_->item(i)->text()) + " ";
  return out;
}

void TFormSettings::Associate() {
  settings_.ExtsAss = TickedExtensions();
  std::vector<std::pair<std::string, bool>> items;
  for (int i = 0; i < files_->count(); ++i)
    items.emplace_back(Std(files_->item(i)->text()), files_->item(i)->checkState() == Qt::Checked);
  if (onAssociate) onAssociate(items);
}

// ---------------------------------------------------------------------------

TFormAbout::TFormAbout(QWidget* parent) : TBaseForm("FormAbout", "About Program", parent) {
  setWindowFlags(Qt::Dialog);
  auto* top = new QHBoxLayout;
  icon_ = new QLabel(body_);
  icon_->setObjectName("ImageIcon");
  icon_->setFixedSize(48, 48);
  top->addWidget(icon_, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  auto* product = new QLabel(kProductCaption, body_);
  product->setObjectName("LabelProduct");
  QFont f = product->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.3);
  product->setFont(f);
  texts->addWidget(product);
  QLabel* about = BindLabel("LabelAbout.Caption", "plays audio, video and radio");
  texts->addWidget(about);
  QLabel* author = BindLabel("LabelAuthor.Caption", "The Orvella Player team");
  texts->addWidget(author);
  mail_ = new TLinkLabel(kMail, this, true);
  mail_->setObjectName("LabelMail");
  texts->addWidget(mail_);
  site_ = new TLinkLabel("https://orvella-player.org", this);
  site_->setObjectName("LabelSite");
  Bind("LabelSite.Caption", [this] { return Std(site_->text()); }, [this](const std::string& t) { site_->setText(Q(t)); });
  texts->addWidget(site_);
  top->addLayout(texts, 1);
  static_cast<QVBoxLayout*>(body_->layout())->addLayout(top);
  AddCloseButton("ButtonOK", "OK");
}

void TFormAbout::SetIcon(const QIcon& icon) {
  icon_->setPixmap(icon.pixmap(48, 48));
  setWindowIcon(icon);
}

TFormMissing::TFormMissing(QWidget* parent) : TBaseForm("FormMissing", "Need soundfont", parent) {
  setWindowFlags(Qt::Dialog);
  QLabel* info1 = BindLabel("LabelInfo1.Caption", "To play midi files, you need soundfont - CT4MGM.SF2");
  body_->layout()->addWidget(info1);
  link_ = new TLinkLabel(kSoundfontAddress, this);
  link_->setObjectName("LabelLink");
  body_->layout()->addWidget(link_);
  QLabel* info2 =
      BindLabel("LabelInfo2.Caption", "Download and put it into \"plugins\" directory and restart program.");
  body_->layout()->addWidget(info2);
  AddCloseButton("ButtonOk", "Ok");
}

}  // namespace app
