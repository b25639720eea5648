// The shape the DSP and visualisation control windows share: the library files
// of a folder on the left, the selected library's description and its modules
// on the right, Configure, Start and Stop below, Close at the right end.
//
// Threads: UI thread only.
#pragma once

#include "app/Forms.h"

class QLineEdit;
class QVBoxLayout;

namespace app {

class TDetectedList;

class TModuleControlForm : public TBaseForm {
 public:
  virtual void Configure() = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;

  TDetectedList* PluginList() const { return list_; }
  QLineEdit* Descript() const { return descript_; }

 protected:
  TModuleControlForm(const char* form, const char* caption, QWidget* parent);

  // Lays out the list, the description (its caption bound to `descriptionPath`), `modules` and the
  // button row. Called once by the window, after it made its module view.
  void Lay(QWidget* modules, const char* descriptionPath);
  QVBoxLayout* Body() const;
  void CenterOnScreen();

  TDetectedList* list_;
  QLineEdit* descript_;
};

}  // namespace app
