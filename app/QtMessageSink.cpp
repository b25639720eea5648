#include "app/QtMessageSink.h"

#include <QMessageBox>

#include "platform/MessageBox.h"

namespace app {

void InstallQtMessageSink() {
  platform::SetMessageSink([](const platform::MessageRequest& req) {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(req.caption));
    box.setText(QString::fromStdString(req.text));
    switch (req.icon) {
      case platform::MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
      case platform::MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
      case platform::MsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
      case platform::MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
      case platform::MsgIcon::None: break;
    }
    switch (req.buttons) {
      case platform::MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
      case platform::MsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
      case platform::MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
      case platform::MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
      case QMessageBox::Yes: return platform::MsgResult::Yes;
      case QMessageBox::No: return platform::MsgResult::No;
      case QMessageBox::Cancel: return platform::MsgResult::Cancel;
      default: return platform::MsgResult::Ok;
    }
  });
}

}  // namespace app
