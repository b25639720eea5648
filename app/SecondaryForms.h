// Small windows of the main window: settings, about, the soundfont notice, and
// the link labels the last two carry. UI thread only.
#pragma once

#include <QLabel>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/Forms.h"
#include "app/Settings.h"

class QIcon;
class QListWidget;
class QTabWidget;
class QUrl;

namespace app {

// What a link label may open: http, https and mailto addresses. Anything else
// (file:, javascript:, a program path...) a language file could put there is
// refused. Returns the address to open, or an empty URL.
QUrl LinkTarget(const std::string& text);

// Opens an address with the desktop's handler. Tests replace it to capture
// what would be opened; the default is QDesktopServices::openUrl.
std::function<bool(const QUrl&)>& LinkOpener();

// Opens `text` when LinkTarget accepts it; false when refused or not opened.
bool OpenLink(const std::string& text);

// A label whose text is an address: the hand pointer over it, a left press
// opens it. A label for an e-mail address opens it as "mailto:".
class TLinkLabel : public QLabel {
 public:
  TLinkLabel(const QString& text, QWidget* parent, bool mail = false);
  // The address a press opens (an empty URL when refused).
  QUrl Target() const;

 protected:
  void mousePressEvent(QMouseEvent* e) override;

 private:
  bool mail_;
};

// "Settings": the pages General, Audio, Video and File Associations.
class TFormSettings : public TBaseForm {
 public:
  // `settings` is the main window's (it lives for the whole run); `setTrayIcon`
  // turns the notification-area icon on or off.
  TFormSettings(TSettings& settings, std::function<void(bool)> setTrayIcon, QWidget* parent = nullptr);

  QTabWidget* PageControl() const { return pages_; }
  QCheckBox* cbStayOnTop() const { return cbStayOnTop_; }
  QCheckBox* cbTrayIcon() const { return cbTrayIcon_; }
  QListWidget* ListViewFiles() const { return files_; }
  // The Video page's picture controls; disabled until video playback drives them.
  QWidget* PictureControls() const { return picture_; }
  // The extensions ticked in the association list, each followed by a blank.
  std::string TickedExtensions() const;

  // "Associate": every extension of the list with its tick, in list order
  // ("ExtsAss" is already stored); the desktop associations fill it in.
  std::function<void(const std::vector<std::pair<std::string, bool>>&)> onAssociate;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void Associate();
  TSettings& settings_;
  std::function<void(bool)> setTrayIcon_;
  QTabWidget* pages_;
  QCheckBox* cbStayOnTop_;
  QCheckBox* cbTrayIcon_;
  QWidget* picture_;
  QListWidget* files_;
  bool filling_ = false;
};

// "About Program": icon, product and version, what it does, the maker's
// name, e-mail address and web page (the last two open with the desktop).
class TFormAbout : public TBaseForm {
 public:
  static constexpr const char* kMail = "team@orvella-player.org";
  explicit TFormAbout(QWidget* parent = nullptr);
  // The program's icon, as the main window carries it.
  void SetIcon(const QIcon& icon);
  QLabel* ImageIcon() const { return icon_; }
  TLinkLabel* LabelMail() const { return mail_; }
  TLinkLabel* LabelSite() const { return site_; }

 private:
  QLabel* icon_;
  TLinkLabel* mail_;
  TLinkLabel* site_;
};

// "Need soundfont": what is missing, the download address as a link, where
// to put it.
class TFormMissing : public TBaseForm {
 public:
  explicit TFormMissing(QWidget* parent = nullptr);
  TLinkLabel* LabelLink() const { return link_; }

 private:
  TLinkLabel* link_;
};

}  // namespace app
