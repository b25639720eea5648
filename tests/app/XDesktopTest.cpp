// The desktop windows on a real X server (run by CTest under Xvfb with
// QT_QPA_PLATFORM=xcb and ORVELLA_X_ARTIFACTS set to a folder): "Associate
// Files" and "Software Update" after a check that found a newer version show
// every control whole inside their window. The screen is saved into the folder.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QTreeWidget>

#include "AppTestUtil.h"
#include "HttpTestServer.h"
#include "app/Main.h"
#include "app/desktop/FormAssociate.h"
#include "app/desktop/FormUpdate.h"
#include "platform/MessageBox.h"
#include "XTestUtil.h"

using apptest::Player;
using apptest::ProgramDir;
using enginetest::HttpTestServer;

namespace {

// Every visible control lies inside its window, and a label or button is wide
// and tall enough for its text.
void ExpectWhole(QWidget* window) {
  const QRect inside = window->rect();
  int controls = 0;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisible() || (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w) &&
                            !qobject_cast<QTreeWidget*>(w)))
      continue;
    ++controls;
    const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
    const std::string name = window->objectName().toStdString() + "." + w->objectName().toStdString();
    EXPECT_TRUE(inside.contains(r)) << name;
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
      EXPECT_GE(label->width(), label->sizeHint().width()) << name << " " << label->text().toStdString();
      EXPECT_GE(label->height(), label->sizeHint().height()) << name;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text())) << name;
      EXPECT_GE(button->height(), button->fontMetrics().height()) << name;
    }
  }
  EXPECT_GE(controls, 3) << window->objectName().toStdString();
}

}  // namespace

TEST(AppUnderX, DesktopWindowsOnTheScreen) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\nLeft=600\r\nTop=500\r\n");
  HttpTestServer server([](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    c.Write(HttpTestServer::Response("200 OK", {}, "1.5\n"));
  });
  platform::MessageRecorder rec;
  Player p;
  auto* associate = dynamic_cast<app::desktop::TFormAssociate*>(p.windows->FormAssociate.get());
  auto* update = dynamic_cast<app::desktop::TFormUpdate*>(p.windows->FormUpdate.get());
  ASSERT_NE(associate, nullptr);
  ASSERT_NE(update, nullptr);
  update->site = "http://127.0.0.1:" + std::to_string(server.Port());
  update->answerFile = dir.File("version.txt");
  int checks = 0;
  update->onCheckDone = [&] { ++checks; };

  associate->move(10, 10);
  associate->show();
  update->move(340, 10);
  update->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(associate, 5000));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(update, 5000));
  ASSERT_TRUE(xtest::WaitFor([&] { return checks == 1; }, 30000));
  EXPECT_EQ(update->LabelText()->text().toStdString(), p.form->Str("StringNewVersionIsAvailable") + "1.5");
  EXPECT_EQ(update->LabelLink()->text().toStdString(), update->site + "/orvella_player.shtml");
  QTest::qWait(300);
  xtest::Screen().save(QString(artifacts) + "/desktop-windows.png");
  ExpectWhole(associate);
  ExpectWhole(update);
  update->close();
  associate->close();
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}
