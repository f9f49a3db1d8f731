// The window tests share one QApplication, drawn off screen.
#include <QApplication>
#include <QDir>

#include <gtest/gtest.h>

#include "platform/qt/QtFenetres.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  auto francais = kup::platform::InstallFrenchQtTexts();
  QDir().mkpath(QString::fromUtf8(KUP_SCREENSHOT_DIR));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
