// Pieces the manager windows share: the folder listing of libraries, the
// "detected" list with its greyed entries, and the grid of loaded libraries
// with its light green header and the entry in use drawn red.
//
// Threads: UI thread only.
#pragma once

#include <QListWidget>
#include <QTableWidget>
#include <string>
#include <vector>

namespace app {

// File names in `folder` (with its trailing slash) that start with `prefix` and
// end with ".so", both compared without regard to case; regular files (or links
// to them) only. Sorted by name, case-insensitively (the file system's order is
// arbitrary), byte order breaking ties. Reads the folder only.
std::vector<std::string> ListLibraries(const std::string& folder, const std::string& prefix);

// Case-insensitive equality of two names (ASCII).
bool SameName(const std::string& a, const std::string& b);

// One column of file names, 16-pixel rows, Arial 9; entries can be greyed.
class TDetectedList : public QListWidget {
 public:
  explicit TDetectedList(QWidget* parent = nullptr);
  void SetNames(const std::vector<std::string>& names);
  std::vector<std::string> Names() const;
  // The selected name, empty when none.
  std::string SelectedName() const;
  int SelectedIndex() const { return currentRow(); }
  void Select(int row);
  // Greys the entries whose names `greyed` accepts.
  template <typename F>
  void Grey(F greyed) {
    for (int i = 0; i < count(); ++i) SetGrey(i, greyed(item(i)->text().toStdString()));
  }
  bool IsGrey(int row) const;
  // The entry named `name` (case-insensitively) is drawn red, yellow when selected; "" for none.
  void SetInUseName(const std::string& name);
  bool RowInUse(int row) const;
  QColor TextColour(int row, bool selected) const;

 private:
  void SetGrey(int row, bool grey);
  std::string inUse_;
};

// A grid with a fixed header row (light green) and rows of texts copied when
// the row is built. The row in use is drawn red, yellow when selected; the
// others black, white when selected.
class TManagerGrid : public QTableWidget {
 public:
  TManagerGrid(const std::vector<std::pair<QString, int>>& columns, QWidget* parent = nullptr);
  void SetRows(const std::vector<std::vector<std::string>>& rows);
  void AddRow(const std::vector<std::string>& texts);
  int RowCount() const { return rowCount(); }
  std::string Cell(int row, int column) const;
  // The first cell of the selected row, empty when none is selected.
  std::string SelectedName() const;
  int SelectedRow() const;
  void Select(int row);
  // The row whose first cell equals `name` (case-insensitively) is drawn as in use.
  void SetInUseName(const std::string& name);
  // The row at `row` is drawn as in use (-1: by name only).
  void SetInUseRow(int row);
  const std::string& InUseName() const { return inUse_; }
  bool RowInUse(int row) const;
  // Colour the row's texts are drawn in (selected or not), for tests and the delegate.
  QColor TextColour(int row, bool selected) const;
  QColor HeaderColour() const;

 private:
  void FitNames();
  std::string inUse_;
  int inUseRow_ = -1;
  int minNameWidth_ = 0;
};

}  // namespace app
