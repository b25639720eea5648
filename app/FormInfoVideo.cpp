#include "app/FormInfoVideo.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <sys/stat.h>

#include "app/MainVideo.h"
#include "app/VideoWidget.h"
#include "video/MediaDetails.h"

namespace app {

namespace {
std::string Size(int w, int h) { return std::to_string(w) + "," + std::to_string(h); }
}  // namespace

TFormInfoVideo::TFormInfoVideo(QWidget* parent) : TBaseForm("FormInfoVideo", "Properties", parent) {
  setWindowFlag(Qt::Dialog);
  resize(420, 520);
  // The report fills the window's body; the buttons go in a row under it.
  memo_ = new QPlainTextEdit(body_);
  memo_->setObjectName("Memo");
  memo_->setReadOnly(true);
  body_->layout()->addWidget(memo_);
  auto* buttons = new QHBoxLayout;
  auto* refresh = new QPushButton("Refresh", this);
  refresh->setObjectName("btnRefresh");
  auto* close = new QPushButton("Close", this);
  close->setObjectName("btnClose");
  buttons->addStretch(1);
  buttons->addWidget(refresh);
  buttons->addWidget(close);
  static_cast<QVBoxLayout*>(layout())->addLayout(buttons);
  connect(refresh, &QPushButton::clicked, this, [this] { BuildReport(); });
  connect(close, &QPushButton::clicked, this, [this] { hide(); });
}

void TFormInfoVideo::Attach(TMainVideo* video, const std::string& file) {
  video_ = video;
  file_ = file;
}

void TFormInfoVideo::showEvent(QShowEvent* e) {
  TBaseForm::showEvent(e);
  BuildReport();
}

void TFormInfoVideo::BuildReport() {
  std::vector<std::string> lines;
  video::TVideoController* c = video_ ? video_->Controller() : nullptr;
  const bool running = c && c->State() != video::TVideoState::Stopped;
  const QWidget* window = video_ ? video_->Widget() : nullptr;
  lines.push_back("VideoWindowSize=" + (window ? Size(window->width(), window->height()) : Size(0, 0)));
  lines.push_back("Duration=" + std::to_string(running ? c->LengthMs() : 0));
  char rate[32];
  std::snprintf(rate, sizeof rate, "%g", running ? c->Rate() : 0.0);
  lines.push_back(std::string("Rate=") + rate);
  lines.push_back("FilterGraphSize=" + Size(width(), height()));
  lines.push_back("Position=" + Size(x(), y()));
  // Uninitialised (no player yet), stopped, paused, playing.
  static const char* const kStates[] = {"gsUninitialized", "gsStopped", "gsPaused", "gsPlaying"};
  int state = 0;
  if (c) state = c->State() == video::TVideoState::Playing ? 3 : c->State() == video::TVideoState::Paused ? 2 : 1;
  lines.push_back(std::string("State=") + kStates[state] + " (" + std::to_string(state) + ")");
  video::TVideoFrame frame;
  if (running && c->CopyFrame(frame)) {
    lines.push_back("GetVideoSize_IBasicVideo2=" + Size(frame.Width, frame.Height));
    lines.push_back("GetSourceSize=" + Size(frame.Width, frame.Height));
    // The file's overall bit rate: its size over its length.
    struct stat st {};
    const int64_t len = c->LengthMs();
    const int64_t bits = !file_.empty() && stat(file_.c_str(), &st) == 0 && len > 0 ? st.st_size * 8 * 1000 / len : 0;
    lines.push_back("Bitrate=" + std::to_string(bits));
    lines.push_back("GetVideoSizeIID_IBasicVideo=" + Size(frame.Width, frame.Height));
  }
  if (!file_.empty()) {
    for (const std::string& l : video::MediaDetailsLines(video::ReadMediaDetails(file_))) lines.push_back(l);
  }
  lines.push_back("-------");
  QStringList text;
  for (const std::string& l : lines) text << QString::fromStdString(l);
  memo_->setPlainText(text.join('\n'));
}

std::vector<std::string> TFormInfoVideo::Lines() const {
  std::vector<std::string> out;
  for (const QString& l : memo_->toPlainText().split('\n')) out.push_back(l.toStdString());
  return out;
}

}  // namespace app
