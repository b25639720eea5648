#include "app/AppWindows.h"

#include "app/FormInfo.h"
#include "app/Forms.h"
#include "app/Main.h"
#include "app/desktop/FormAssociate.h"
#include "app/SecondaryForms.h"
#include "app/desktop/FormUpdate.h"
#include "app/managers/FormAddonConfig.h"
#include "app/managers/FormDSPControl.h"
#include "app/managers/FormPluginConfig.h"
#include "app/managers/FormVisControl.h"
#include "plugins/PluginCtrl.h"
#include "engine/ZOZUZivade.h"
#include "platform/Paths.h"
#include "playlist/Playlist.h"
#include "playlist/StreamInfoSource.h"
#include "playlist/ui/FormPL.h"

namespace app {

// What the playlist needs of the main window and the engine. The engine is
// asked for at each call: it goes away when the main window closes.
class TPlaylistSide : public playlist::TPlaylistHost, public playlist::IStreamInfoSource {
 public:
  TForm1* form = nullptr;
  TBaseForm* soundfontNotice = nullptr;

  void Stop() override {
    if (form) form->Stop();
  }
  void Play() override {
    if (form) form->StartPlayback();
  }
  void ShowSoundfontNotice() override {
    if (form && soundfontNotice) form->ShowModal(soundfontNotice);
  }
  std::string ProgramFolder() const override { return platform::ProgramFolder(); }
  std::string DataFolder() const override { return app::DataFolder(); }
  std::string LastPath() const override { return form ? form->Settings().LastPath : std::string(); }
  void SetLastPath(const std::string& folder) override {
    if (form) form->Settings().LastPath = folder;
  }
  bool Ready() const override { return form && form->Engine() && form->Engine()->Ready(); }
  bool GetStreamInfo(const std::string& path, engine::TStreamInfo& info) override {
    if (!Ready()) return false;
    return playlist::TEngineStreamInfo(*form->Engine()).GetStreamInfo(path, info);
  }
};

namespace {

// The playlist window's texts as a language target.
class TPlaylistTexts : public ILanguageTarget {
 public:
  explicit TPlaylistTexts(playlist::TFormPL& form) : form_(form) {}
  bool GetLangText(const std::string& path, std::string& text) const override {
    return form_.GetLangText(path, text);
  }
  void SetLangText(const std::string& path, const std::string& text) override { form_.SetLangText(path, text); }

 private:
  playlist::TFormPL& form_;
};

std::unique_ptr<TBaseForm> Simple(const char* name, const char* caption, const char* closePath,
                                  const char* closeCaption, std::vector<std::string> texts) {
  auto f = std::make_unique<TBaseForm>(name, caption);
  f->StoreTexts(texts);
  if (closePath) f->AddCloseButton(closePath, closeCaption);
  return f;
}

}  // namespace

TApplicationWindows::~TApplicationWindows() {
  // The main window goes first, like the owner of the others; the playlist
  // window saves the default playlist when it goes.
  Form1.reset();
  if (PlaylistSide) PlaylistSide->form = nullptr;
  playlistTexts_.reset();
  FormPL.reset();
}

std::vector<QWidget*> TApplicationWindows::CreationOrder() const {
  return {Form1.get(),           FormPL.get(),          FormAbout.get(),      FormSettings.get(),
          FormInfo.get(),        FormEq.get(),          FormStatus.get(),     FormUrl.get(),
          FormMissing.get(),     AddonConfigForm.get(), PluginConfigForm.get(), DSPControlForm.get(),
          VisControlForm.get(),  FormControlBar.get(),  FormAssociate.get(),  FormUpdate.get()};
}

ILanguageTarget* TApplicationWindows::Target(const std::string& name) const {
  if (name.empty()) return Form1.get();
  if (name == "FormPL") return playlistTexts_.get();
  for (QWidget* w : CreationOrder()) {
    auto* f = dynamic_cast<TBaseForm*>(w);
    if (f && f->Name() == name) return f;
  }
  return nullptr;
}

std::unique_ptr<TApplicationWindows> CreateApplicationWindows(std::vector<std::string> args) {
  auto w = std::make_unique<TApplicationWindows>();
  w->Form1 = std::make_unique<TForm1>();
  w->PlaylistSide = std::make_unique<TPlaylistSide>();
  w->PlaylistSide->form = w->Form1.get();
  w->InfoCache = std::make_unique<playlist::TStreamInfoCache>(*w->PlaylistSide);
  w->Playlist = std::make_unique<playlist::TPlaylist>(*w->InfoCache, *w->PlaylistSide);
  w->FormPL = std::make_unique<playlist::TFormPL>(*w->Playlist);
  w->FormPL->setObjectName("FormPL");
  w->playlistTexts_ = std::make_unique<TPlaylistTexts>(*w->FormPL);
  w->FormAbout = std::make_unique<TFormAbout>();
  w->FormAbout->SetIcon(w->Form1->windowIcon());
  TForm1* form = w->Form1.get();
  w->FormSettings = std::make_unique<TFormSettings>(form->Settings(), [form](bool on) { form->SetTrayIcon(on); });
  w->FormInfo = std::make_unique<TFormInfo>();
  {
    TFormInfo* info = w->FormInfo.get();
    playlist::TFormPL* pl = w->FormPL.get();
    info->GetStreamInfo = [form](const std::string& path, engine::TStreamInfo& si) {
      engine::TZOZUZivade* e = form->Engine();
      if (!e) return false;
      int supportedBy = 0, pluginNum = -1;
      std::string pluginName;
      // Read afresh: the window may show a file whose tags it has just written.
      return e->GetStreamInfo(path, si, supportedBy, pluginNum, pluginName);
    };
    info->SaveTagEdits = [pl, form](const playlist::TTagFields& v1, const playlist::TTagFields& v2) {
      const bool ok = pl->SaveTagEdits(v1, v2);
      // The engine keeps the playing file's record: give it the new texts.
      if (engine::TZOZUZivade* e = form->Engine()) e->RefreshStreamTags(pl->TagEdit().EditFile());
      return ok;
    };
    pl->ShowFileInfo = [info, pl](int) {
      info->Fill(pl->TagEdit());
      if (info->isVisible()) info->FillInfo();
      info->show();
      info->raise();
    };
  }
  w->FormEq = std::make_unique<TFormEq>();
  w->FormStatus = std::make_unique<TFormStatus>();
  w->FormUrl = std::make_unique<TFormUrl>();
  w->FormMissing = std::make_unique<TFormMissing>();
  w->PlaylistSide->soundfontNotice = w->FormMissing.get();
  // The managers ask for the engine at each use: it goes with the main window.
  auto engineOf = [windows = w.get()]() -> engine::TZOZUZivade* {
    return windows->Form1 ? windows->Form1->Engine() : nullptr;
  };
  w->AddonConfigForm = std::make_unique<TAddonConfigForm>(engineOf);
  w->PluginConfigForm = std::make_unique<TPluginConfigForm>(engineOf);
  w->DSPControlForm = std::make_unique<TDSPControlForm>(engineOf);
  w->VisControlForm = std::make_unique<TVisControlForm>(engineOf);
  w->FormControlBar = Simple("FormControlBar", "Control Bar", nullptr, nullptr, {});
  w->FormAssociate = std::make_unique<desktop::TFormAssociate>();
  auto update = std::make_unique<desktop::TFormUpdate>();
  update->mainText = [form = w->Form1.get()](const std::string& key) { return form->Str(key); };
  update->showModal = [form = w->Form1.get()](QWidget* window) { form->ShowModal(window); };
  w->FormUpdate = std::move(update);
  if (engine::TZOZUZivade* e = w->Form1->Engine()) {
    e->OnDecoderChange = [addons = w->AddonConfigForm.get(),
                          inputs = w->PluginConfigForm.get()](engine::TZOZUZivade* eng) {
      const std::string& decoder = eng->DecoderName();
      addons->SetAddOnInUse(decoder.rfind("bass_", 0) == 0 ? decoder : std::string());
      inputs->SetPluginInUse(eng->PluginSlot() >= 0 ? plugins::GetPluginInfo(eng->PluginSlot()).Name : std::string());
    };
    // The running visualisation is drawn red in its control window (after whatever else the
    // main window does with the record; nothing once it is closing).
    e->OnVisWindowShow = [previous = e->OnVisWindowShow, form, vis = w->VisControlForm.get()](
                             engine::TZOZUZivade* eng, const plugins::TVisPluginInfo& info) {
      if (previous) previous(eng, info);
      if (!form->ShuttingDown()) vis->SetVisPluginInfo(info);
    };
    // The engine has no window of its own: it shows the input plug-in manager through the main window.
    e->OnShowPluginConfig = [form, inputs = w->PluginConfigForm.get()](engine::TZOZUZivade*, bool pluginFirst) {
      inputs->SetPluginFirst(pluginFirst);
      form->ShowModal(inputs);
    };
  }
  w->Form1->SetWindows(w.get());
  w->Form1->SetCommandLine(std::move(args));
  return w;
}

}  // namespace app
