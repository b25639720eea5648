// Shows the platform's message boxes with Qt.
#pragma once

namespace app {
// Installs a sink that shows QMessageBox boxes (UI thread).
void InstallQtMessageSink();
}
