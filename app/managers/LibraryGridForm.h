// The shape the add-on and input plug-in managers share: the library files of
// a folder on the left (those already loaded grey), the loaded ones in a grid
// on the right, Load and Unload below, Close at the right end.
//
// Threads: UI thread only.
#pragma once

#include <string>

#include "app/Forms.h"

class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

namespace app {

class TDetectedList;
class TManagerGrid;

class TLibraryGridForm : public TBaseForm {
 protected:
  struct TNames {
    const char* form;      // object and language name
    const char* caption;
    const char* detected;  // caption above the list
    const char* loaded;    // caption above the grid
    const char* list;      // object names of the list and the grid
    const char* grid;
  };
  TLibraryGridForm(const TNames& names, QWidget* parent);

  void showEvent(QShowEvent* e) override;

  // Lists the folder's files again, rebuilds the grid and selects the first of each.
  void Fill();
  // Greys the loaded files, then follows the list's selection.
  void RedrawList();
  void ListSelected();
  void GridSelected();

  // The folder and file-name prefix of the libraries listed.
  virtual std::string Folder() const = 0;
  virtual const char* Prefix() const = 0;
  virtual bool Loaded(const std::string& file) const = 0;
  virtual void RebuildGrid() = 0;

  QVBoxLayout* Body() const;
  // The row of buttons: Load, Unload, then what a window adds with AddButton, then Close.
  void AddButton(QPushButton* b);

  TDetectedList* list_;
  TManagerGrid* grid_;
  QPushButton *load_, *unload_;

 private:
  QHBoxLayout* buttons_;
  int extraButtons_ = 0;
};

}  // namespace app
