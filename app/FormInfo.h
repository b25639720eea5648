// "File Information": the technical data of one audio file and its ID3v1 and
// ID3v2 tags for editing. Not modal: it keeps the file it was filled for in
// EditFile, and OK saves into that file whatever the playlist shows by then.
// The tag objects and the save belong to the playlist's model (TTagEdit).
#pragma once

#include <array>
#include <functional>
#include <string>

#include "app/Forms.h"
#include "engine/EngineTypes.h"
#include "playlist/ui/TagEdit.h"

class QComboBox;
class QLineEdit;
class QTabWidget;

namespace app {

class TFormInfo : public TBaseForm {
 public:
  explicit TFormInfo(QWidget* parent = nullptr);

  // Fills the file field and both tag pages from `edit` (as loaded); tag
  // pages of a file that takes no tags are read-only.
  void Fill(const playlist::TTagEdit& edit);
  // Fills the Info page from the stream information of EditFile; a failed read clears it.
  void FillInfo();
  // The pages' texts as the save takes them: a field left as it was filled
  // gives the value that was read (not the text as cut to the field's length).
  playlist::TTagFields FieldsV1() const;
  playlist::TTagFields FieldsV2() const;

  void CopyV1ToV2();  // "Copy to ID3v2" and "Copy from ID3v1"
  void CopyV2ToV1();  // "Copy from ID3v2" and "Copy to ID3v1"

  // The Info page's texts, from a stream record.
  static std::string QualityText(const engine::TStreamInfo& info);
  static std::string DurationText(int32_t ms);
  static std::string SizeText(uint32_t bytes);

  QLineEdit* EditFile() const { return editFile_; }
  QTabWidget* PageControl() const { return pages_; }
  QLabel* InfoValue(const std::string& name) const;  // "Title", "Artist", ... "Size"
  QLineEdit* Edit(const std::string& name) const;    // "EditTitle", "EditTitle2", ...
  QComboBox* ComboBoxGenre() const { return genre1_; }
  QComboBox* ComboBoxGenre2() const { return genre2_; }
  QPushButton* ButtonOK() const { return ok_; }

  // Stream information of a file (the engine's, read afresh).
  std::function<bool(const std::string&, engine::TStreamInfo&)> GetStreamInfo;
  // OK: saves; returns false when the window must stay open.
  std::function<bool(const playlist::TTagFields&, const playlist::TTagFields&)> SaveTagEdits;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  struct Page {
    std::array<QLineEdit*, 6> edits{};  // title, artist, album, comment, year, track
    QComboBox* genre = nullptr;
    playlist::TTagFields read;          // what the model read
    std::array<QString, 6> shown;       // the edits' texts right after filling
    int shownGenre = -1;
  };
  void FillPage(Page& page, const playlist::TTagFields& f, bool writable);
  playlist::TTagFields Fields(const Page& page) const;
  static void Copy(const Page& from, Page& to);
  QLineEdit* editFile_;
  QTabWidget* pages_;
  QComboBox* genre1_;
  QComboBox* genre2_;
  QPushButton* ok_;
  Page v1_, v2_;
  std::array<QLabel*, 9> info_{};
  std::array<QLineEdit*, 14> allEdits_{};
};

}  // namespace app
