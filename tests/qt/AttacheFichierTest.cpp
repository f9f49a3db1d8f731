// The attachment library's windows in a program that shows Qt windows: the
// attachment window of a dossier and the busy indicator.
#include <dlfcn.h>

#include <filesystem>
#include <fstream>

#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "QtTest.h"
#include "platform/FakeLog.h"
#include "platform/qt/QtFenetres.h"

namespace mb = kup::platform::mb;

namespace {

struct Bibliotheque {
  void* h = ::dlopen(KUP_PROGRAM_DIR "/AttacheFichier.so", RTLD_NOW | RTLD_LOCAL);
  ~Bibliotheque() {
    if (h) ::dlclose(h);
  }
  template <class F>
  F* entree(const char* nom) {
    return reinterpret_cast<F*>(::dlsym(h, nom));
  }
};

}  // namespace

TEST(AttacheFichierFenetres, AttachmentWindowListsTheDossier) {
  namespace fs = std::filesystem;
  const fs::path stock = fs::temp_directory_path() / ("kup_qt_pieces_" + std::to_string(::getpid()));
  fs::create_directories(stock / "PC 059 A0042");
  std::ofstream(stock / "PC 059 A0042" / "plan.pdf") << "pdf";
  std::ofstream(stock / "PC 059 A0042" / "photo.jpg") << "jpeg!";
  std::ofstream(stock / "PC 059 A0042" / ".cache") << "hidden";

  Bibliotheque b;
  ASSERT_TRUE(b.h) << ::dlerror();
  auto* attachement = b.entree<int32_t(const char*, int32_t)>("Attachement");
  ASSERT_TRUE(attachement);
  const std::string enveloppe = "<AttacheFichier><Identifiant>PC 059 A0042</Identifiant><Habilitation>Lecture"
                                "</Habilitation><Repertoire>" + stock.string() + "</Repertoire></AttacheFichier>";
  QStringList noms;
  qtest::WhenModal([&](QWidget* w) {
    auto* liste = w->findChild<QTreeWidget*>("pieces");
    if (!liste) return false;
    for (int i = 0; i < liste->topLevelItemCount(); ++i) noms << liste->topLevelItem(i)->text(0);
    qtest::Capture(w, "fenetre_pieces");
    for (auto* p : w->findChildren<QPushButton*>())
      if (p->text() == "Fermer") QTest::mouseClick(p, Qt::LeftButton);
    return true;
  });
  EXPECT_EQ(attachement(enveloppe.c_str(), 0), 1);
  noms.sort();
  EXPECT_EQ(noms, (QStringList{"photo.jpg", "plan.pdf"}));
  fs::remove_all(stock);
}

// The indicator only informs: it takes no click or focus, comes only once
// the work lasts, small in a corner, and it is out of the way (with the
// normal cursor) while anything waits for the person.
TEST(AttacheFichierFenetres, BusyIndicatorStandsAsideForThePerson) {
  Bibliotheque b;
  ASSERT_TRUE(b.h) << ::dlerror();
  auto* afficher = b.entree<int32_t()>("AfficherBusy");
  auto* masquer = b.entree<int32_t()>("MasquerBusy");
  ASSERT_TRUE(afficher && masquer);
  auto occupe = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "AttacheFichierOccupe" && w->isVisible()) return w;
    return static_cast<QWidget*>(nullptr);
  };
  EXPECT_EQ(afficher(), 1);
  EXPECT_FALSE(occupe());
  QTest::qWait(300);
  EXPECT_FALSE(occupe());
  ASSERT_TRUE(QTest::qWaitFor([&] { return occupe() != nullptr; }, 2000));
  QWidget* o = occupe();
  for (auto f : {Qt::WindowTransparentForInput, Qt::WindowDoesNotAcceptFocus, Qt::X11BypassWindowManagerHint})
    EXPECT_TRUE(o->windowFlags().testFlag(f)) << f;
  const QRect zone = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LT(o->width(), zone.width() / 2);
  EXPECT_LE(zone.bottom() - o->frameGeometry().bottom(), 8);
  EXPECT_LE(zone.right() - o->frameGeometry().right(), 8);
  EXPECT_EQ(o->windowTitle(), QStringLiteral("Traitement en cours"));

  // A box opened during the work: nothing over it, the normal cursor.
  kup::platform::FakeLog log;
  kup::platform::QtMessageBox boite(&log);
  bool cache = false, curseurNormal = false;
  qtest::WhenModal([&](QWidget* w) {
    cache = !occupe();
    curseurNormal = !QApplication::overrideCursor();
    // The screen as the person sees it.
    const QRect r = w->frameGeometry().adjusted(-40, -40, 40, 40);
    QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height())
        .save(QString::fromUtf8(KUP_SCREENSHOT_DIR) + "/boite_message.png");
    QTest::keyClick(w, Qt::Key_Return);
    return true;
  });
  EXPECT_EQ(boite.show("Le dossier des pièces jointes est inaccessible.", mb::RetryCancel | mb::Exclamation,
                       "Korvane"),
            mb::Retry);
  EXPECT_TRUE(cache);
  EXPECT_TRUE(curseurNormal);
  // The work goes on once the box is answered.
  EXPECT_TRUE(occupe());
  EXPECT_TRUE(QApplication::overrideCursor());

  // A window left open for the person (the colour themes) keeps it away.
  QWidget fenetre;
  fenetre.show();
  EXPECT_FALSE(occupe());
  EXPECT_FALSE(QApplication::overrideCursor());
  EXPECT_EQ(masquer(), 1);
  EXPECT_EQ(afficher(), 1);
  EXPECT_FALSE(occupe());
  fenetre.hide();
  EXPECT_TRUE(QTest::qWaitFor([&] { return occupe() != nullptr; }, 2000));
  EXPECT_EQ(masquer(), 1);
  EXPECT_FALSE(occupe());
  EXPECT_FALSE(QApplication::overrideCursor());
  // The next work at once: an indicator of its own, which the end of the
  // last one's does not take away.
  EXPECT_EQ(afficher(), 1);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(QTest::qWaitFor([&] { return occupe() != nullptr; }, 2000));
  EXPECT_EQ(masquer(), 1);
}
