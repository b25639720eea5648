// OrvellaPlayer: program entry. Creates the windows in their fixed order and
// runs the event loop; closing the main window ends the program.
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "app/AppWindows.h"
#include "app/Main.h"
#include "app/QtMessageSink.h"
#include "app/Theme.h"
#include "app/desktop/DesktopIntegration.h"
#include "app/desktop/Mpris.h"
#include "platform/Messages.h"
#include "platform/qt/QtMessageLoop.h"

namespace {

int g_signalPipe[2] = {-1, -1};

// A termination signal closes the main window through the event loop, so the
// program ends the same way as when the user closes it (settings written).
void OnTerminate(int) {
  char c = 1;
  [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

}  // namespace

int main(int argc, char** argv) {
  // Termination requests are caught from the very start; they are acted on
  // once the main window exists and the event loop runs.
  const bool signalsCaught = ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0;
  if (signalsCaught) {
    std::signal(SIGTERM, OnTerminate);
    std::signal(SIGINT, OnTerminate);
  }

  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  platform::GetCurrentThreadId();  // the UI thread gets its queue first
  platform::AttachQueueToQtLoop();
  app::InstallQtMessageSink();
  app::ApplyDarkTheme();

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  auto windows = app::CreateApplicationWindows(std::move(args));
  app::TForm1* mainWindow = windows->Form1.get();
  mainWindow->onClosed = [] { QCoreApplication::quit(); };
  app::desktop::InstallDesktopIntegration(*windows, app::desktop::TXdgFolders::FromEnvironment());
  // Media keys and sound applets; without a session bus the player runs without it.
  auto mpris = std::make_unique<app::desktop::TMprisService>(*windows);

  if (signalsCaught) {
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, mainWindow, [mainWindow] {
      char c;
      [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &c, 1);
      mainWindow->close();
    });
  }

  mainWindow->show();
  // A termination request during the start-up sequence already closed it.
  int rc = mainWindow->ShuttingDown() ? 0 : application.exec();
  mpris.reset();
  windows.reset();
  return rc;
}
