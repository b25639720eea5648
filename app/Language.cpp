#include "app/Language.h"

#include <algorithm>

#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace app {

void TLangBindings::Bind(const std::string& path, std::function<std::string()> get,
                         std::function<void(const std::string&)> set) {
  bindings_[path] = {std::move(get), std::move(set)};
}

void TLangBindings::BindStored(const std::string& path, std::string initial) {
  stored_[path] = std::move(initial);
  Bind(path, [this, path] { return stored_[path]; }, [this, path](const std::string& t) { stored_[path] = t; });
}

bool TLangBindings::GetLangText(const std::string& path, std::string& text) const {
  auto it = bindings_.find(path);
  if (it == bindings_.end()) return false;
  text = it->second.get();
  return true;
}

void TLangBindings::SetLangText(const std::string& path, const std::string& text) {
  auto it = bindings_.find(path);
  if (it != bindings_.end()) it->second.set(text);
}

std::string TLangBindings::Text(const std::string& path) const {
  std::string t;
  GetLangText(path, t);
  return t;
}

const std::vector<std::string>& LanguageWindowNames() {
  static const std::vector<std::string> names = {
      "FormEq",          "FormPL",           "FormSettings",   "FormInfo",       "FormMissing",
      "FormStatus",      "FormUrl",          "AddonConfigForm", "PluginConfigForm", "DSPControlForm",
      "VisControlForm",  "FormAssociate",    "FormUpdate",     "FormAbout"};
  return names;
}

const std::vector<std::string>& LanguageKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k = {
        // Main window controls.
        "LabelMono.Caption", "LabelStereo.Caption", "ImageMinimize.Hint", "ImageClose.Hint", "sbPL.Caption",
        "sbEQ.Caption", "sbPL.Hint", "sbEQ.Hint", "sbShuffle.Hint", "sbRepeat.Hint", "sbFullScreen.Hint",
        "ImageMenu.Hint", "ImageSettings.Hint", "ImagePre.Hint", "ImagePlay.Hint", "ImagePause.Hint",
        "ImageStop.Hint", "ImageNext.Hint", "ImageOpen.Hint", "tbVolume.Hint", "cbMute.Hint", "tbBalance.Hint",
        "PMOpenFiles.Caption", "PMOpenFolder.Caption", "PMOpenURL.Caption", "PMPlayDVD.Caption", "PMPre.Caption",
        "PMSpeedDown.Caption", "PMPlay.Caption", "PMPause.Caption", "PMStop.Caption", "PMSpeedUp.Caption",
        "PMNext.Caption", "PMAudio.Caption", "PMAddonSetup.Caption", "PMPluginSetup.Caption", "PMDSPSetup.Caption",
        "PMVisSetup.Caption", "PMVideo.Caption", "PMVideoShow.Caption", "PMSnapShot.Caption", "PMDVD.Caption",
        "PMMenuTitle.Caption", "PMMenuRoot.Caption", "PMBookmarks.Caption", "PMSaveBookmark.Caption",
        "PMRestoreBookmark.Caption", "PMStepForwardMenu.Caption", "PMStatus.Caption", "PMLang.Caption",
        "PMLangEnglish.Caption", "PMLangRussian.Caption", "PMLangKazakh.Caption", "PMAbout.Caption",
        "PMClose.Caption", "OpenDialog1.Filter",
        // Main window texts.
        "StringSelectDir", "StringOpenedFileFromInternet", "StringOpenedLocalFile", "StringBeingDecodedBy",
        "StringBeingDecodedBWinampPlugin", "StringPlaying", "StringReadyToPlay", "StringConnectedToNetRadio",
        "StringStopped", "StringPaused", "StringStreamFormat", "StringStandby", "StringAllSupportedFiles",
        "StringFiles", "StringNextHint", "StringPreHint", "StringNextChapterHint", "StringPreChapterHint",
        "StringPosition", "StringDuration", "StringAddToPlaylist", "StringPlayWith", "StringLastVersion",
        "StringNewVersionIsAvailable", "StringCantConnectToServer",
        // Equaliser.
        "FormEq.Caption", "FormEq.ImageClose.Hint", "FormEq.LabelTitle.Caption", "FormEq.cbEq.Caption",
        "FormEq.gbEffects.Caption", "FormEq.cbFlanger.Caption", "FormEq.cbEcho.Caption", "FormEq.cbReverb.Caption",
        "FormEq.cbRotate.Caption", "FormEq.cbSpeed.Caption", "FormEq.ButtonReset.Caption",
        "FormEq.ButtonRandom.Caption", "FormEq.ButtonMin.Caption", "FormEq.ButtonMax.Caption",
        // Playlist.
        "FormPL.ListView1.Column[0].Caption", "FormPL.ListView1.Column[1].Caption", "FormPL.LabelTitle.Caption",
        "FormPL.ImageClose.Hint", "FormPL.ImageAdd.Hint", "FormPL.ImageRemove.Hint", "FormPL.ImageSort.Hint",
        "FormPL.ImagePlaylist.Hint", "FormPL.PMPlay.Caption", "FormPL.PMRemove.Caption",
        "FormPL.PMFileInfo.Caption", "FormPL.PMAddFiles.Caption", "FormPL.PMAddFolder.Caption",
        "FormPL.PMAddUrl.Caption", "FormPL.PMRemoveSelected.Caption", "FormPL.PMRemoveAll.Caption",
        "FormPL.PMSortTitle.Caption", "FormPL.PMSortFilename.Caption", "FormPL.PMSortPath.Caption",
        "FormPL.PMOpenPlaylist.Caption", "FormPL.PMSavePlaylist.Caption", "FormPL.PMImportPlaylist.Caption",
        "FormPL.OpenDialog1.Filter", "FormPL.SaveDialog1.Filter", "FormPL.OpenDialogImport.Filter",
        "FormPL.StringNotFound", "FormPL.StringFiles",
        // Settings.
        "FormSettings.Caption", "FormSettings.ButtonClose.Caption", "FormSettings.TabSheetGeneral.Caption",
        "FormSettings.cbStayOnTop.Caption", "FormSettings.cbTrayIcon.Caption", "FormSettings.TabSheetVideo.Caption",
        "FormSettings.LabelBrightness.Caption", "FormSettings.LabelContrast.Caption", "FormSettings.LabelHue.Caption",
        "FormSettings.LabelSaturation.Caption", "FormSettings.LabelPosX.Caption", "FormSettings.LabelPosY.Caption",
        "FormSettings.LabelSizeX.Caption", "FormSettings.LabelSizeY.Caption", "FormSettings.cbAspectRatio.Caption",
        "FormSettings.TabSheetAssociations.Caption", "FormSettings.gbFiles.Caption",
        "FormSettings.ListViewFiles.Column[0].Caption", "FormSettings.ButtonCheck.Caption",
        "FormSettings.ButtonUncheck.Caption", "FormSettings.ButtonAssociate.Caption",
        // Tag window.
        "FormInfo.Caption", "FormInfo.LabelTitle.Caption", "FormInfo.LabelArtist.Caption",
        "FormInfo.LabelAlbum.Caption", "FormInfo.LabelComment.Caption", "FormInfo.LabelGenre.Caption",
        "FormInfo.LabelYear.Caption", "FormInfo.LabelTrack.Caption", "FormInfo.ButtonCopyToID3v2.Caption",
        "FormInfo.ButtonCopyFromID3v2.Caption", "FormInfo.bntCancel.Caption", "FormInfo.LabelTitle2.Caption",
        "FormInfo.LabelArtist2.Caption", "FormInfo.LabelAlbum2.Caption", "FormInfo.LabelComment2.Caption",
        "FormInfo.LabelGenre2.Caption", "FormInfo.LabelYear2.Caption", "FormInfo.LabelTrack2.Caption",
        // Small windows.
        "FormMissing.Caption", "FormMissing.LabelInfo1.Caption", "FormMissing.LabelInfo2.Caption",
        "FormStatus.Caption", "FormStatus.ButtonClose.Caption", "FormUrl.Caption", "FormUrl.ButtonOpen.Caption",
        "AddonConfigForm.Caption", "AddonConfigForm.lbl_Detected.Caption", "AddonConfigForm.lbl_Loaded.Caption",
        "AddonConfigForm.btnLoad.Caption", "AddonConfigForm.btnUnload.Caption", "AddonConfigForm.btnClose.Caption",
        "PluginConfigForm.Caption", "PluginConfigForm.lbl_Detected.Caption", "PluginConfigForm.lbl_Loaded.Caption",
        "PluginConfigForm.btnLoad.Caption", "PluginConfigForm.btnUnload.Caption", "PluginConfigForm.btnAbout.Caption",
        "PluginConfigForm.btnConfigure.Caption", "PluginConfigForm.btnClose.Caption",
        "PluginConfigForm.cbPluginFirst.Caption", "DSPControlForm.Caption", "DSPControlForm.lbl_Detected.Caption",
        "DSPControlForm.lbl_Descripion.Caption", "DSPControlForm.lbl_Modules.Caption",
        "DSPControlForm.btnConfigure.Caption", "DSPControlForm.btnStart.Caption", "DSPControlForm.btnStop.Caption",
        "DSPControlForm.btnClose.Caption", "VisControlForm.Caption", "VisControlForm.lbl_Detected.Caption",
        "VisControlForm.lbl_Description.Caption", "VisControlForm.lbl_Modules.Caption",
        "VisControlForm.lbl_VisScale.Caption", "VisControlForm.btnConfigure.Caption",
        "VisControlForm.btnStart.Caption", "VisControlForm.btnStop.Caption", "VisControlForm.btnClose.Caption",
        "VisControlForm.cbUseWinampLook.Caption", "FormAssociate.Caption",
        "FormAssociate.ListViewFiles.Column[0].Caption", "FormAssociate.ButtonCheck.Caption",
        "FormAssociate.ButtonUncheck.Caption", "FormAssociate.ButtonAssociate.Caption",
        "FormAssociate.ButtonClose.Caption", "FormUpdate.Caption", "FormUpdate.ButtonClose.Caption",
        "FormUpdate.ButtonCheck.Caption", "FormUpdate.StringCheckingForUpdates", "FormAbout.Caption",
        "FormAbout.LabelAbout.Caption", "FormAbout.LabelAuthor.Caption", "FormAbout.LabelSite.Caption"};
    return k;
  }();
  return keys;
}

std::pair<std::string, std::string> SplitLanguageKey(const std::string& key) {
  size_t dot = key.find('.');
  if (dot != std::string::npos) {
    std::string head = key.substr(0, dot);
    const auto& names = LanguageWindowNames();
    if (std::find(names.begin(), names.end(), head) != names.end()) return {head, key.substr(dot + 1)};
  }
  return {std::string(), key};
}

std::string LanguageFilePath(const std::string& programFolder, const std::string& name) {
  return platform::WithSlash(programFolder) + "language/" + name + ".ini";
}

void ApplyLanguageFile(const std::string& path, const std::function<ILanguageTarget*(const std::string&)>& windowFor) {
  platform::IniFile ini(path);
  for (const std::string& key : LanguageKeys()) {
    auto [window, sub] = SplitLanguageKey(key);
    ILanguageTarget* target = windowFor(window);
    if (!target) continue;
    std::string current;
    if (!target->GetLangText(sub, current)) continue;
    target->SetLangText(sub, ini.ReadString(kInterfaceSection, key, current));
  }
}

}  // namespace app
