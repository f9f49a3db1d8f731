#pragma once
// Helpers of the window tests: they run under QT_QPA_PLATFORM=offscreen,
// answer modal windows from a timer as a person would, and keep a
// screenshot of what each window showed under the build folder.
#include <functional>
#include <string>

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace qtest {

// Saves the widget's picture as <build>/screenshots/<name>.png.
inline void Capture(QWidget* w, const std::string& name) {
  const QString dir = QString::fromUtf8(KUP_SCREENSHOT_DIR);
  w->grab().save(dir + "/" + QString::fromStdString(name) + ".png");
}

// Runs act on the modal window once it is up (polled, never a fixed sleep);
// act returns false to be called again later (the window is not ready).
inline void WhenModal(std::function<bool(QWidget*)> act) {
  auto* t = new QTimer;
  t->setInterval(10);
  QObject::connect(t, &QTimer::timeout, [t, act] {
    QWidget* m = QApplication::activeModalWidget();
    if (m && m->isVisible() && act(m)) {
      t->stop();
      t->deleteLater();
    }
  });
  t->start();
}

}  // namespace qtest
