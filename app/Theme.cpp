#include "app/Theme.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace app {

void ApplyDarkTheme() {
  if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
  QPalette p;
  const QColor window(0x22, 0x24, 0x2a), base(0x15, 0x17, 0x1b), text(0xd6, 0xdb, 0xe2), accent(0x1b, 0x8f, 0xa8);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, QColor(0x2c, 0x2f, 0x36));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::Highlight, accent);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::ToolTipBase, base);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::Link, QColor(0x3d, 0xd6, 0xd0));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x5a, 0x5f, 0x68));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x5a, 0x5f, 0x68));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x5a, 0x5f, 0x68));
  QApplication::setPalette(p);
}

}  // namespace app
