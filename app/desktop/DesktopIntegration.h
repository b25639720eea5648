// Connects the program's windows to the desktop: the first run's registration
// and the association window write the user's freedesktop files.
#pragma once

#include <memory>

#include "app/desktop/Associations.h"

namespace app {
class TApplicationWindows;
}

namespace app::desktop {

// Sets the main window's first-run registration and the association window's
// "Associate" to work on `folders`. The returned object is also held by those
// handlers; callers may keep it to inspect the paths.
std::shared_ptr<TAssociations> InstallDesktopIntegration(TApplicationWindows& windows, const TXdgFolders& folders);

// The icon named in the desktop entry: the program folder's "icon.png" when
// there is one, else the themed name "orvella-player".
std::string DesktopIcon();

}  // namespace app::desktop
