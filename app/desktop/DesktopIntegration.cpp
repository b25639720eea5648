#include "app/desktop/DesktopIntegration.h"

#include "app/AppWindows.h"
#include "app/Main.h"
#include "app/SecondaryForms.h"
#include "app/desktop/FormAssociate.h"
#include "platform/Paths.h"

namespace app::desktop {

std::string DesktopIcon() {
  const std::string icon = platform::ProgramFolder() + "icon.png";
  return platform::FileExists(icon) ? icon : std::string("orvella-player");
}

std::shared_ptr<TAssociations> InstallDesktopIntegration(TApplicationWindows& windows, const TXdgFolders& folders) {
  auto assoc = std::make_shared<TAssociations>(folders, platform::ProgramPath(), DesktopIcon());
  TForm1* form = windows.Form1.get();
  form->RegisterFileTypes = [assoc, form](const std::string& exts) {
    assoc->SetTexts({form->Str("StringPlayWith"), form->Str("StringAddToPlaylist")});
    assoc->RegisterPlaylistType();
    assoc->RegisterFileTypes(exts);
  };
  if (auto* window = dynamic_cast<TFormAssociate*>(windows.FormAssociate.get())) {
    window->onAssociate = [assoc, form, window](const std::vector<std::pair<std::string, bool>>& items) {
      form->Settings().ExtsAss = window->TickedText();
      assoc->Associate(items);
    };
  }
  if (windows.FormSettings) {
    windows.FormSettings->onAssociate = [assoc](const std::vector<std::pair<std::string, bool>>& items) {
      assoc->Associate(items);
    };
  }
  return assoc;
}

}  // namespace app::desktop
