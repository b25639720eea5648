#include "app/managers/FormVisControl.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "app/managers/FormPluginConfig.h"
#include "app/managers/ManagerWidgets.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "plugins/VisDrive2.h"
#include "plugins/sdk/winamp_vis.h"

namespace app {

TVisControlForm::TVisControlForm(std::function<engine::TZOZUZivade*()> engine, QWidget* parent)
    : TModuleControlForm("VisControlForm", "Winamp Visualization plug-in control", parent), engine_(std::move(engine)) {
  modules_ = new TManagerGrid({{"Module", 260}}, this);
  modules_->setObjectName("VisModules");
  modules_->horizontalHeader()->hide();
  Lay(modules_, "lbl_Description.Caption");
  QVBoxLayout* body = Body();
  cbUseWinampLook_ =
      BindCheck("cbUseWinampLook.Caption", "Use Winamp-like visualization window (effective for Winamp 5 plug-in only)");
  body->addWidget(cbUseWinampLook_);
  auto* scaleRow = new QHBoxLayout;
  scaleRow->addWidget(BindLabel("lbl_VisScale.Caption", "Spectrum Scale (used to adjust output data of FFT)"));
  scale_ = new QSlider(Qt::Horizontal, this);
  scale_->setObjectName("VisScaleBar");
  scale_->setRange(0, 32);
  scale_->setTickInterval(4);
  scale_->setTickPosition(QSlider::TicksBelow);
  scaleRow->addWidget(scale_, 1);
  body->addLayout(scaleRow);

  QObject::connect(list_, &QListWidget::currentRowChanged, this, [this](int r) {
    if (!quiet_) Select(r);
  });
  QObject::connect(scale_, &QSlider::valueChanged, this, [this](int position) {
    if (quiet_) return;
    if (engine::TZOZUZivade* e = Engine()) e->SetVisScale(uint16_t(position * 24 + 256));
  });
  QObject::connect(cbUseWinampLook_, &QCheckBox::toggled, this, [this](bool on) {
    if (quiet_) return;
    // The engine posts the change to a running module's thread.
    if (engine::TZOZUZivade* e = Engine()) e->SetUseVisDrawer(on);
  });
  setFixedSize(kWidth, kHeight);
}

TVisControlForm::~TVisControlForm() = default;

std::string TVisControlForm::PathOf(int row) const {
  const std::vector<std::string> names = list_->Names();
  return row >= 0 && row < int(names.size()) ? platform::ProgramFolder() + "plugins/" + names[size_t(row)]
                                             : std::string();
}

void TVisControlForm::showEvent(QShowEvent* e) {
  TBaseForm::showEvent(e);
  CenterOnScreen();
  quiet_ = true;
  list_->SetNames(ListLibraries(platform::ProgramFolder() + "plugins/", "vis_"));
  list_->Select(list_->count() > 0 ? 0 : -1);
  if (engine::TZOZUZivade* eng = Engine()) {
    if (cbUseWinampLook_->isEnabled()) cbUseWinampLook_->setChecked(eng->UseVisDrawer());
    // Only shown: the bar's steps cannot hold every scale (512 would come back as 496).
    scale_->setValue((eng->VisScale() - 256) / 24);
  }
  quiet_ = false;
  Select(list_->count() > 0 ? 0 : -1);
}

void TVisControlForm::closeEvent(QCloseEvent* e) {
  if (configuring_) {
    platform::ShowMessage("Close plug-in's Configuration window first.", platform::kCaptionConfirm,
                          platform::MsgIcon::Information);
    e->ignore();
    return;
  }
  TBaseForm::closeEvent(e);
  if (!e->isAccepted()) return;
  listed_.clear();
  listedPath_.clear();
  shownPath_.clear();
  modules_->SetRows({});
  plugins::CloseVisListing();
}

void TVisControlForm::Select(int row) {
  plugins::CloseVisListing();
  listed_.clear();
  listedPath_.clear();
  descript_->clear();
  modules_->SetRows({});
  const std::string path = PathOf(row);
  shownPath_ = path;
  if (path.empty()) {
    MarkRunning();
    return;
  }
  std::string description;
  plugins::LoadVisPlugin(path, plugins::VisMainWindow(), listed_, &description);
  listedPath_ = path;
  descript_->setText(QString::fromUtf8(description.c_str()));
  std::vector<std::vector<std::string>> rows;
  for (winampVisModule* m : listed_) rows.push_back({m->description ? m->description : ""});
  modules_->SetRows(rows);
  if (!rows.empty()) modules_->Select(0);
  MarkRunning();
}

int TVisControlForm::SelectedModule() const {
  const int r = modules_->SelectedRow();
  return r >= 0 && r < modules_->RowCount() ? r : 0;
}

void TVisControlForm::SetVisPluginInfo(const plugins::TVisPluginInfo& info) {
  // The path is copied: the record's text lives only as long as the run.
  if (info.ThreadId != 0 && info.PluginPath) {
    runningPath_ = info.PluginPath;
    runningModule_ = info.ModuleIndex;
  } else {
    runningPath_.clear();
    runningModule_ = -1;
  }
  MarkRunning();
}

void TVisControlForm::MarkRunning() {
  const std::string file = runningPath_.empty() ? std::string() : platform::ExtractFileName(runningPath_);
  list_->SetInUseName(file);
  const bool shown = !runningPath_.empty() && SameName(runningPath_, shownPath_);
  modules_->SetInUseRow(shown ? runningModule_ : -1);
}

void TVisControlForm::Configure() {
  if (configuring_) return;
  const int row = list_->SelectedIndex();
  const std::string path = PathOf(row);
  if (path.empty()) return;
  const int module = SelectedModule();
  if (!SameName(path, listedPath_) || listed_.empty()) {
    Select(row);
    modules_->Select(module);
  }
  if (module >= int(listed_.size())) return;
  winampVisModule* m = listed_[size_t(module)];
  if (!m->Config) return;
  configuring_ = true;
  list_->setEnabled(false);
  CallPluginGuarded([m] { m->Config(m); });
  list_->setEnabled(true);
  configuring_ = false;
}

void TVisControlForm::Start() {
  if (configuring_) return;
  engine::TZOZUZivade* e = Engine();
  const std::string path = PathOf(list_->SelectedIndex());
  if (!e || path.empty()) return;
  const int module = SelectedModule();
  if (!runningPath_.empty() && SameName(path, runningPath_) && module == runningModule_) return;
  plugins::CloseVisListing();
  listed_.clear();
  listedPath_.clear();
  e->RunVisPlugin(path, module);
}

void TVisControlForm::Stop() {
  engine::TZOZUZivade* e = Engine();
  if (e && (!runningPath_.empty() || e->VisActive() || e->VisStarting())) e->QuitVisPlugin();
}

}  // namespace app
