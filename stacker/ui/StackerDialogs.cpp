#include "stacker/ui/StackerDialogs.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>

#include "stacker/FaultGuard.h"
#include "stacker/Texts.h"
#include "stacker/ui/StackerWindow.h"

namespace pilvo {

namespace {
bool BeginsWithProduct(const char* s) { return s && std::strncmp(s, kProductWord, std::strlen(kProductWord)) == 0; }
}  // namespace

bool TAddDialog::LibraryDescription(const std::string& path, std::string* description) {
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) return false;
  auto get2 = reinterpret_cast<winampDSPGetHeaderType>(dlsym(lib, "winampDSPGetHeader2"));
  auto get1 = reinterpret_cast<winampDSPGetHeaderType1>(dlsym(lib, "winampDSPGetHeader"));
  bool ok = false;
  RunGuarded([&] {
    const char* d = nullptr;
    if (get2) {
      winampDSPHeader* h = get2();
      if (h && h->version == DSP_HDRVER) d = h->description ? h->description : "";
    } else if (get1) {
      winampDSPHeader1* h = get1();
      if (h && h->version == DSP_HDRVER1) d = h->description ? h->description : "";
    }
    if (d && !BeginsWithProduct(d)) {
      *description = d;
      ok = true;
    }
  });
  dlclose(lib);
  return ok;
}

TAddDialog::TAddDialog(TStacker* stacker, TDescriptionCache* cache, QWidget* parent)
    : QDialog(parent), stacker_(stacker), cache_(cache) {
  setWindowTitle(QStringLiteral("Add Plug-in"));
  auto* group = new QGroupBox(QStringLiteral("Sound Processing"), this);
  auto* libLabel = new QLabel(QStringLiteral("&Library:"), group);
  libraries_ = new QListWidget(group);
  libraries_->setSortingEnabled(true);
  libLabel->setBuddy(libraries_);
  auto* modLabel = new QLabel(QStringLiteral("&Module:"), group);
  modules_ = new QListWidget(group);
  modLabel->setBuddy(modules_);
  configure_ = new QPushButton(QStringLiteral("C&onfigure"), group);
  auto* g = new QVBoxLayout(group);
  g->addWidget(libLabel);
  g->addWidget(libraries_);
  g->addWidget(modLabel);
  g->addWidget(modules_);
  g->addWidget(configure_, 0, Qt::AlignLeft);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QString::fromUtf8(kTextOk), QDialogButtonBox::AcceptRole);
  buttons->addButton(QString::fromUtf8(kTextCancel), QDialogButtonBox::RejectRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(libraries_, &QListWidget::currentRowChanged, this, [this] { LibraryChosen(); });
  connect(libraries_, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
  connect(modules_, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
  libraries_->setMinimumWidth(360);
  connect(configure_, &QPushButton::clicked, this, [this] { ConfigureSelected(); });
  FillLibraries();
}

TAddDialog::~TAddDialog() {
  if (listed_) dlclose(listed_);
}

void TAddDialog::FillLibraries() {
  const std::string& folder = stacker_->Opts().PluginFolder;
  QDir dir(QString::fromStdString(folder));
  dir.setNameFilters({QStringLiteral("dsp_*.so")});
  dir.setFilter(QDir::Files);
  struct stat self {};
  bool haveSelf = ::stat(stacker_->Opts().SelfPath.c_str(), &self) == 0;
  for (const QString& file : dir.entryList()) {
    std::string name = file.toStdString();
    if (!IsChainLibraryName(name)) continue;
    struct stat st {};
    std::string path = stacker_->LibraryPath(name);
    if (haveSelf && ::stat(path.c_str(), &st) == 0 && st.st_dev == self.st_dev && st.st_ino == self.st_ino) continue;
    std::string description;
    if (const std::string* cached = cache_ ? cache_->Find(name) : nullptr) {
      description = *cached;
    } else {
      if (!LibraryDescription(path, &description)) continue;
      if (cache_) cache_->Append(name, description);
    }
    auto* item = new QListWidgetItem(QString::fromUtf8((description + " (" + name + ")").c_str()));
    item->setData(Qt::UserRole, file);
    libraries_->addItem(item);
  }
}

std::string TAddDialog::SelectedLibrary() const {
  QListWidgetItem* item = libraries_->currentItem();
  return item ? item->data(Qt::UserRole).toString().toStdString() : std::string();
}

void TAddDialog::LibraryChosen() {
  modules_->clear();
  if (listed_) dlclose(listed_);
  listed_ = nullptr;
  std::string name = SelectedLibrary();
  if (name.empty()) return;
  TOpenedModule lib;
  // Module 0 opens the library; every module is listed from the same load.
  if (!stacker_->OpenModule(name, 0, &lib)) return;
  for (const std::string& d : TStacker::ModuleDescriptions(lib)) modules_->addItem(QString::fromUtf8(d.c_str()));
  listed_ = lib.Library;
  if (modules_->count() > 0) modules_->setCurrentRow(0);
}

void TAddDialog::ConfigureSelected() {
  std::string name = SelectedLibrary();
  int index = modules_->currentRow();
  if (name.empty() || index < 0) return;
  TOpenedModule m;
  if (!stacker_->OpenModule(name, index, &m)) return;
  RunGuarded([&] {
    if (m.Kind == kKind1) {
      auto* r = static_cast<winampDSPModule1*>(m.Module);
      if (r->Config) r->Config(r);
    } else {
      auto* r = static_cast<winampDSPModule*>(m.Module);
      if (r->Config) r->Config(r);
    }
  });
  m.Close();
}

int TAddDialog::AddSelected() {
  std::string name = SelectedLibrary();
  int index = modules_->currentRow();
  if (name.empty() || index < 0) return -1;
  TOpenedModule m;
  if (!stacker_->OpenModule(name, index, &m)) {
    ShowStackerMessage(QMessageBox::Critical, QString::fromUtf8(kTextCannotStart));
    return -1;
  }
  int result = stacker_->AddChainEntry(m, 1);
  switch (result) {
    case kAdded: break;
    case kDuplicate: ShowStackerMessage(QMessageBox::Warning, QString::fromUtf8(kTextDuplicate)); break;
    case kNotStarted: ShowStackerMessage(QMessageBox::Critical, QString::fromUtf8(kTextCannotStart)); break;
    default: ShowStackerMessage(QMessageBox::Critical, QString::fromUtf8(kTextOutOfMemory)); break;
  }
  if (result != kAdded) m.Close();
  return result;
}

void TAddDialog::accept() {
  AddSelected();
  QDialog::accept();
}

TAboutDialog::TAboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(kProductTitle));
  auto* about = new QGroupBox(QStringLiteral("About"), this);
  auto* a = new QVBoxLayout(about);
  a->addWidget(new QLabel(QStringLiteral("This plug-in allows to stack several plug-ins."), about));
  a->addWidget(new QLabel(QStringLiteral("It also loads Winamp 1.x DSP plugins."), about));
  auto* usage = new QGroupBox(QStringLiteral("Usage"), this);
  auto* u = new QVBoxLayout(usage);
  for (const char* line : {"Keyboard:", "+/INSERT: Adds", "-/DELETE: Deletes", "L: Loads", "S: Saves", "ENTER: Configures",
                           "SPACE: Toggles", "R: Reloads"})
    u->addWidget(new QLabel(QString::fromUtf8(line), usage));
  auto* ok = new QPushButton(QString::fromUtf8(kTextOk), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(about);
  layout->addWidget(usage);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
}

}  // namespace pilvo
