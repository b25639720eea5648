// TFormAssociate, "Associate Files": the 31 playable extensions with check
// boxes and the buttons "Check All", "Uncheck all", "Associate" and "Close".
// The first-run window shows every box ticked. "Associate" hands the ticks to
// `onAssociate`; "Close" only hides the window.
//
// Threads: UI thread only.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/Forms.h"

class QTreeWidget;

namespace app::desktop {

class TFormAssociate : public TBaseForm {
 public:
  explicit TFormAssociate(QWidget* parent = nullptr);

  QTreeWidget* ListViewFiles() const { return list_; }
  // (extension, ticked) in table order.
  std::vector<std::pair<std::string, bool>> Items() const;
  void CheckAll(bool on);
  // Ticks each item whose extension occurs in `exts` (a blank-separated list).
  void CheckFrom(const std::string& exts);
  // The "ExtsAss" text of the current ticks: each ticked extension and a blank.
  std::string TickedText() const;
  // "Associate".
  void Associate();

  std::function<void(const std::vector<std::pair<std::string, bool>>&)> onAssociate;

 private:
  QTreeWidget* list_;
};

}  // namespace app::desktop
