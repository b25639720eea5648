// TFormInfoVideo: the video properties window ("Properties"), opened modally by
// the playlist's "File Info" for a video entry. Its report lists what the
// playing video and its picture are, then the media details of the file.
//
// Threads: UI thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/Forms.h"

class QPlainTextEdit;

namespace app {

class TMainVideo;

class TFormInfoVideo : public TBaseForm {
 public:
  explicit TFormInfoVideo(QWidget* parent = nullptr);

  // The video side of the main window (may be null) and the file to describe.
  void Attach(TMainVideo* video, const std::string& file);
  // Rebuilds the report ("Refresh" and every show).
  void BuildReport();
  std::vector<std::string> Lines() const;
  QPlainTextEdit* Memo() const { return memo_; }

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  TMainVideo* video_ = nullptr;
  std::string file_;
  QPlainTextEdit* memo_;
};

}  // namespace app
