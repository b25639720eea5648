// TFormUpdate, "Software Update": the result of the update check, the link
// to the product page, "Check" and "Close". Showing the window starts a
// check; closing it ends a running one at once. One check at a time.
//
// Threads: UI thread only; the check's worker reports back through the
// window's event queue.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/Forms.h"
#include "app/desktop/UpdateCheck.h"

class QLabel;

namespace app::desktop {

class TFormUpdate : public TBaseForm {
 public:
  explicit TFormUpdate(QWidget* parent = nullptr);
  ~TFormUpdate() override;

  QLabel* LabelText() const { return labelText_; }
  QLabel* LabelLink() const { return labelLink_; }
  bool UpdateCheckRunning() const { return check_->Running(); }

  // "Check": starts a check unless one runs.
  void Check();

  // The main window's texts ("StringLastVersion", ...).
  std::function<std::string(const std::string&)> mainText;
  // Where to ask and what to keep; the defaults are the maker's site and the program folder.
  std::string site = kUpdateSite;
  std::string answerFile;  // empty: ProgramFolder() + "version.txt"
  long timeoutMs = 30000;
  // Shows the window modally when a check started elsewhere finds a new version.
  std::function<void(QWidget*)> showModal;
  // Runs after each finished check (tests wait on it).
  std::function<void()> onCheckDone;

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void StartCheck();
  void Finished(const TUpdateAnswer& answer);
  void SetLink(const std::string& link);

  QLabel* labelText_;
  QLabel* labelLink_;
  std::unique_ptr<TUpdateCheck> check_;
};

}  // namespace app::desktop
