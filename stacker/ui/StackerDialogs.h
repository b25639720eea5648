// The stacker's Add and About dialogs. GUI thread only.
#pragma once

#include <QDialog>

#include "stacker/Stacker.h"
#include "stacker/StackerSettings.h"

class QListWidget;
class QPushButton;

namespace pilvo {

// Lists the dsp_*.so libraries of the plug-in folder (descriptions from the
// cache, or read from the library and cached), their modules, and adds the
// chosen module to the chain, reporting refusals in message boxes.
class TAddDialog : public QDialog {
 public:
  TAddDialog(TStacker* stacker, TDescriptionCache* cache, QWidget* parent);
  ~TAddDialog() override;

  QListWidget* Libraries() const { return libraries_; }
  QListWidget* Modules() const { return modules_; }
  // Adds the selected module; the AddChainEntry result, or -1 when nothing was
  // selected or the library could not give the module.
  int AddSelected();
  void ConfigureSelected();

  // The header description of a DSP library (2.x version 32, else 1.x version 16);
  // false for anything else.
  static bool LibraryDescription(const std::string& path, std::string* description);

 protected:
  void accept() override;

 private:
  void FillLibraries();
  void LibraryChosen();
  std::string SelectedLibrary() const;

  TStacker* stacker_;
  TDescriptionCache* cache_;
  QListWidget* libraries_;
  QListWidget* modules_;
  QPushButton* configure_;
  void* listed_ = nullptr;  // the library whose modules are shown (held open)
};

class TAboutDialog : public QDialog {
 public:
  explicit TAboutDialog(QWidget* parent);
};

}  // namespace pilvo
