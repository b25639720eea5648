// The program-wide look of the windows that are not drawn from the skin: a
// dark palette that matches the default skin.
#pragma once

namespace app {
// Call once after the QApplication exists.
void ApplyDarkTheme();
}
