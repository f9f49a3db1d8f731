// The attachment library's windows in a program that shows Qt windows: the
// attachment window of a dossier and the busy indicator.
#include <dlfcn.h>

#include <filesystem>
#include <fstream>

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "QtTest.h"

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

TEST(AttacheFichierFenetres, BusyIndicatorShowsAndGoes) {
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
  ASSERT_TRUE(occupe());
  EXPECT_TRUE(QApplication::overrideCursor());
  EXPECT_EQ(masquer(), 1);
  EXPECT_FALSE(occupe());
  EXPECT_FALSE(QApplication::overrideCursor());
}
