#include "app/AppWindows.h"

#include "app/Forms.h"
#include "app/Main.h"

namespace app {

namespace {

std::unique_ptr<TBaseForm> Simple(const char* name, const char* caption, const char* closePath,
                                  const char* closeCaption, std::vector<std::string> texts) {
  auto f = std::make_unique<TBaseForm>(name, caption);
  f->StoreTexts(texts);
  if (closePath) f->AddCloseButton(closePath, closeCaption);
  return f;
}

}  // namespace

TApplicationWindows::~TApplicationWindows() {
  // The main window goes first, like the owner of the others.
  Form1.reset();
}

std::vector<QWidget*> TApplicationWindows::CreationOrder() const {
  return {Form1.get(),           FormPL.get(),          FormAbout.get(),      FormSettings.get(),
          FormInfo.get(),        FormEq.get(),          FormStatus.get(),     FormUrl.get(),
          FormMissing.get(),     AddonConfigForm.get(), PluginConfigForm.get(), DSPControlForm.get(),
          VisControlForm.get(),  FormControlBar.get(),  FormAssociate.get(),  FormUpdate.get()};
}

ILanguageTarget* TApplicationWindows::Target(const std::string& name) const {
  if (name.empty()) return Form1.get();
  for (QWidget* w : CreationOrder()) {
    auto* f = dynamic_cast<TBaseForm*>(w);
    if (f && f->Name() == name) return f;
  }
  return nullptr;
}

std::unique_ptr<TApplicationWindows> CreateApplicationWindows(std::vector<std::string> args) {
  auto w = std::make_unique<TApplicationWindows>();
  w->Form1 = std::make_unique<TForm1>();
  w->FormPL = std::make_unique<TFormPL>();
  w->FormAbout = Simple("FormAbout", "About Program", nullptr, nullptr,
                        {"LabelAbout.Caption", "LabelAuthor.Caption", "LabelSite.Caption"});
  w->FormAbout->AddCloseButton("ButtonOK", "OK");
  w->FormSettings = Simple("FormSettings", "Settings", "ButtonClose.Caption", "Close",
                           {"TabSheetGeneral.Caption", "cbStayOnTop.Caption", "cbTrayIcon.Caption",
                            "TabSheetVideo.Caption", "LabelBrightness.Caption", "LabelContrast.Caption",
                            "LabelHue.Caption", "LabelSaturation.Caption", "LabelPosX.Caption", "LabelPosY.Caption",
                            "LabelSizeX.Caption", "LabelSizeY.Caption", "cbAspectRatio.Caption",
                            "TabSheetAssociations.Caption", "gbFiles.Caption", "ListViewFiles.Column[0].Caption",
                            "ButtonCheck.Caption", "ButtonUncheck.Caption", "ButtonAssociate.Caption"});
  w->FormInfo = Simple("FormInfo", "File Information", "bntCancel.Caption", "Cancel",
                       {"LabelTitle.Caption", "LabelArtist.Caption", "LabelAlbum.Caption", "LabelComment.Caption",
                        "LabelGenre.Caption", "LabelYear.Caption", "LabelTrack.Caption",
                        "ButtonCopyToID3v2.Caption", "ButtonCopyFromID3v2.Caption", "LabelTitle2.Caption",
                        "LabelArtist2.Caption", "LabelAlbum2.Caption", "LabelComment2.Caption",
                        "LabelGenre2.Caption", "LabelYear2.Caption", "LabelTrack2.Caption"});
  w->FormEq = std::make_unique<TFormEq>();
  w->FormStatus = std::make_unique<TFormStatus>();
  w->FormUrl = Simple("FormUrl", "Input URL", "ButtonOpen.Caption", "Open", {});
  w->FormMissing = Simple("FormMissing", "Need soundfont", nullptr, nullptr,
                          {"LabelInfo1.Caption", "LabelInfo2.Caption"});
  w->FormMissing->AddCloseButton("ButtonOk", "Ok");
  w->AddonConfigForm = Simple("AddonConfigForm", "BASS Add-on Configuration", "btnClose.Caption", "Close",
                              {"lbl_Detected.Caption", "lbl_Loaded.Caption", "btnLoad.Caption", "btnUnload.Caption"});
  w->PluginConfigForm =
      Simple("PluginConfigForm", "Winamp Input plug-in Configuration", "btnClose.Caption", "Close",
             {"lbl_Detected.Caption", "lbl_Loaded.Caption", "btnLoad.Caption", "btnUnload.Caption",
              "btnAbout.Caption", "btnConfigure.Caption", "cbPluginFirst.Caption"});
  w->DSPControlForm = Simple("DSPControlForm", "Winamp DSP plug-in control", "btnClose.Caption", "Close",
                             {"lbl_Detected.Caption", "lbl_Descripion.Caption", "lbl_Modules.Caption",
                              "btnConfigure.Caption", "btnStart.Caption", "btnStop.Caption"});
  w->VisControlForm = std::make_unique<TVisControlForm>();
  w->FormControlBar = Simple("FormControlBar", "Control Bar", nullptr, nullptr, {});
  w->FormAssociate = Simple("FormAssociate", "Associate Files", "ButtonClose.Caption", "Close",
                            {"ListViewFiles.Column[0].Caption", "ButtonCheck.Caption", "ButtonUncheck.Caption",
                             "ButtonAssociate.Caption"});
  w->FormUpdate = Simple("FormUpdate", "Software Update", "ButtonClose.Caption", "Close",
                         {"ButtonCheck.Caption", "StringCheckingForUpdates"});
  w->Form1->SetWindows(w.get());
  w->Form1->SetCommandLine(std::move(args));
  return w;
}

}  // namespace app
