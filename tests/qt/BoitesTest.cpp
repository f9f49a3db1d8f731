// Message boxes and common dialogs answered by a person.
#include <filesystem>
#include <fstream>
#include <map>

#include <QDialogButtonBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeView>
#include <QTest>

#include <gtest/gtest.h>

#include "QtTest.h"
#include "platform/FakeLog.h"
#include "platform/RealFileSystem.h"
#include "platform/qt/QtFenetres.h"
#include "vb/VbError.h"

namespace mb = kup::platform::mb;
using kup::platform::QtMessageBox;

namespace {

QStringList Legendes(QMessageBox* box) {
  QStringList out;
  for (auto* b : box->buttons()) out << b->text().remove('&');
  return out;
}

}  // namespace

TEST(QtMessageBox, FrenchButtonsDefaultAndEscape) {
  struct Cas {
    int style;
    Qt::Key touche;
    int attendu;
    QStringList legendes;
  };
  const Cas cas[] = {
      {mb::YesNoCancel | mb::Question, Qt::Key_Return, mb::Yes, {"Oui", "Non", "Annuler"}},
      {mb::YesNoCancel | mb::DefaultButton2, Qt::Key_Return, mb::No, {"Oui", "Non", "Annuler"}},
      {mb::YesNoCancel, Qt::Key_Escape, mb::Cancel, {"Oui", "Non", "Annuler"}},
      {mb::RetryCancel | mb::Exclamation, Qt::Key_Return, mb::Retry, {"Réessayer", "Annuler"}},
      {mb::RetryCancel, Qt::Key_Escape, mb::Cancel, {"Réessayer", "Annuler"}},
      {mb::AbortRetryIgnore | mb::DefaultButton3, Qt::Key_Return, mb::Ignore, {"Abandonner", "Réessayer", "Ignorer"}},
      {mb::OKCancel, Qt::Key_Escape, mb::Cancel, {"OK", "Annuler"}},
      {mb::OKOnly | mb::Critical, Qt::Key_Escape, mb::OK, {"OK"}},
      {mb::YesNo | mb::DefaultButton2, Qt::Key_O, mb::Yes, {"Oui", "Non"}},  // each answer by its key
  };
  kup::platform::FakeLog log;
  QtMessageBox boite(&log);
  for (const auto& c : cas) {
    QStringList vues;
    qtest::WhenModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (!box) return false;
      vues = Legendes(box);
      if (c.style == (mb::YesNoCancel | mb::Question)) qtest::Capture(box, "boite_question");
      QTest::keyClick(box, c.touche);
      return true;
    });
    EXPECT_EQ(boite.show("Enregistrer le courrier ?", c.style, "Korvane"), c.attendu) << c.style;
    // The order the style gives, whatever the desktop's habits.
    EXPECT_EQ(vues, c.legendes) << c.style;
  }
}

TEST(QtMessageBox, EscapeDoesNothingWithoutCancel) {
  kup::platform::FakeLog log;
  QtMessageBox boite(&log);
  int tours = 0;
  qtest::WhenModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box) return false;
    if (tours++ == 0) {
      QTest::keyClick(box, Qt::Key_Escape);  // no answer: the box stays
      box->close();                          // nor the close box
      return false;
    }
    for (auto* b : box->buttons())
      if (b->text() == "&Non") QTest::mouseClick(b, Qt::LeftButton);
    return true;
  });
  EXPECT_EQ(boite.show("Remplacer ?", mb::YesNo, "Korvane"), mb::No);
  EXPECT_GE(tours, 2);
  ASSERT_FALSE(log.lines("msgbox").empty());
  EXPECT_EQ(log.lines("msgbox").back(), "Korvane | Remplacer ? | Oui/Non -> Non");
}

namespace {

struct Modeles {
  std::filesystem::path racine = std::filesystem::temp_directory_path() / ("kup_qt_" + std::to_string(::getpid()));
  Modeles() {
    std::filesystem::create_directories(racine / "Modeles" / "Arretes");
    for (auto n : {"Modeles/lettre.ott", "Modeles/refus.ott", "Modeles/Arretes/arrete.ott", "Modeles/notes.txt"})
      std::ofstream(racine / n) << "x";
  }
  ~Modeles() { std::filesystem::remove_all(racine); }
  kup::platform::RealFileSystem fs() {
    kup::platform::DriveMap m;
    m.drives['C'] = racine.string();
    return kup::platform::RealFileSystem(m);
  }
};

// Types a name in the dialog's file name box and presses Return, as a
// person would. On a busy machine the dialog may not yet know the folder
// when the name arrives (its Open button stays off) or its completer takes
// the key: the name is typed again while the dialog stays, and after 20 s
// the dialog is cancelled (the test then fails on its answer, not hangs).
void Taper(const QString& nom, const std::string& capture = {}) {
  struct Etat {
    QPointer<QFileDialog> d;
    bool tape = false;
    int tours = 0;
  };
  auto etat = std::make_shared<Etat>();
  auto* t = new QTimer;
  t->setInterval(10);
  QObject::connect(t, &QTimer::timeout, [t, etat, nom, capture] {
    if (!etat->tape) {
      auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      auto* saisie = d && d->isVisible() ? d->findChild<QLineEdit*>("fileNameEdit") : nullptr;
      if (!saisie) return;
      if (!capture.empty()) qtest::Capture(d, capture);
      etat->d = d;
      etat->tape = true;
      saisie->setFocus();
      QTest::keyClicks(saisie, nom);
      QTest::keyClick(saisie, Qt::Key_Return);
      return;
    }
    if (etat->d && etat->d->isVisible()) {
      if (++etat->tours > 2000) {
        etat->d->reject();
      } else if (etat->tours % 20 == 0) {
        auto* saisie = etat->d->findChild<QLineEdit*>("fileNameEdit");
        saisie->clear();
        QTest::keyClicks(saisie, nom);
        QTest::keyClick(saisie, Qt::Key_Return);
      }
      return;
    }
    t->stop();
    t->deleteLater();
  });
  t->start();
}

}  // namespace

TEST(QtCommonDialog, OpenAnswersUnderTheFoldersText) {
  Modeles m;
  auto fs = m.fs();
  kup::platform::FakeLog log;
  kup::platform::QtCommonDialog d(&fs, &log);
  d.state.InitDir = "C:\\Modeles\\";
  d.state.Filter = "Modèles (*.ott)|*.ott";
  d.state.FilterIndex = 1;
  d.state.CancelError = true;

  Taper("refus.ott", "dialogue_modele");
  d.ShowOpen();
  EXPECT_EQ(d.state.FileName, "C:\\Modeles\\refus.ott");

  // A path typed whole, into a sub-folder: the answer keeps the folder's text.
  Taper(QString::fromStdString((m.racine / "Modeles" / "Arretes" / "arrete.ott").string()));
  d.state.FileName.clear();
  d.ShowOpen();
  EXPECT_EQ(d.state.FileName, "C:\\Modeles\\Arretes\\arrete.ott");

  // Escape: cancelled, 32755 with CancelError, the name emptied.
  qtest::WhenModal([](QWidget* w) {
    if (!qobject_cast<QFileDialog*>(w)) return false;
    QTest::keyClick(w, Qt::Key_Escape);
    return true;
  });
  try {
    d.ShowOpen();
    ADD_FAILURE() << "no cancel error";
  } catch (const kup::VbError& e) {
    EXPECT_EQ(e.number(), kup::vberr::CancelError);
  }
  EXPECT_EQ(d.state.FileName, "");
}

// The person reads the file list in French whatever the machine's locale
// (LANG unset or English): folders, dates, sizes.
TEST(QtCommonDialog, FileListInFrench) {
  Modeles m;
  auto fs = m.fs();
  const QDateTime quand(QDate(2026, 12, 7), QTime(14, 30));
  {
    QFile f(QString::fromStdString((m.racine / "Modeles" / "refus.ott").string()));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.setFileTime(quand, QFileDevice::FileModificationTime);
  }
  kup::platform::FakeLog log;
  kup::platform::QtCommonDialog d(&fs, &log);
  d.state.InitDir = "C:\\MODELES";  // another case: the folder on the disk all the same
  d.state.Filter = "Tous (*.*)|*.*";
  d.state.CancelError = false;
  std::map<QString, QStringList> lignes;
  QString entete;
  qtest::WhenModal([&](QWidget* w) {
    auto* vue = w->findChild<QTreeView*>("treeView");
    if (!vue || !vue->model() || vue->model()->rowCount(vue->rootIndex()) < 4) return false;
    auto* modele = vue->model();
    for (int r = 0; r < modele->rowCount(vue->rootIndex()); ++r) {
      QStringList cols;
      for (int c = 0; c < 4; ++c) cols << modele->index(r, c, vue->rootIndex()).data().toString();
      lignes[cols[0]] = cols;
    }
    entete = modele->headerData(3, Qt::Horizontal).toString();
    qtest::Capture(w, "dialogue_fichiers");
    QTest::keyClick(w, Qt::Key_Escape);
    return true;
  });
  d.ShowOpen();
  ASSERT_EQ(lignes.count("Arretes"), 1u);
  EXPECT_EQ(lignes["Arretes"][2], "Dossier");
  ASSERT_EQ(lignes.count("refus.ott"), 1u);
  EXPECT_EQ(lignes["refus.ott"][3], "07/12/2026 14:30");
  EXPECT_EQ(lignes["refus.ott"][1], "1 octets");
  EXPECT_NE(entete, "Date Modified");
}

TEST(QtCommonDialog, NameFiltersFromTheVbFilter) {
  using kup::platform::QtNameFilters;
  EXPECT_EQ(QtNameFilters("Modèles (*.dot;*.dotx)|*.dot;*.dotx"), std::vector<std::string>{"Modèles (*.dot *.dotx)"});
  EXPECT_EQ(QtNameFilters("Textes|*.txt|Tous|*.*"), (std::vector<std::string>{"Textes (*.txt)", "Tous (*.*)"}));
  EXPECT_TRUE(QtNameFilters("").empty());
}

TEST(QtCommonDialog, PrinterWithItsCopies) {
  Modeles m;
  auto fs = m.fs();
  kup::platform::FakeLog log;
  kup::platform::QtCommonDialog d(&fs, &log);
  d.state.Copies = 3;
  d.state.CancelError = true;
  // The control's title is still the template dialog's.
  d.state.DialogTitle = "Choix du modèle";
  int montrees = -1;
  QString titre;
  QStringList imprimantes;
  qtest::WhenModal([&](QWidget* w) {
    auto* copies = w->findChild<QSpinBox*>("copies");
    if (!copies) return false;
    // The copies at once, and nothing the office would not honour.
    montrees = copies->isVisibleTo(w) ? copies->value() : -2;
    for (const char* nom : {"gbPrintRange", "pagesRadioButton", "pageSetCombo", "reverse", "collate", "duplex"})
      if (auto* o = w->findChild<QWidget*>(nom)) EXPECT_FALSE(o->isVisibleTo(w)) << nom;
    titre = w->windowTitle();
    if (auto* liste = w->findChild<QComboBox*>("printers"))
      for (int i = 0; i < liste->count(); ++i) imprimantes << liste->itemText(i);
    copies->setValue(2);
    qtest::Capture(w, "dialogue_imprimante");
    QMetaObject::invokeMethod(w, "accept", Qt::QueuedConnection);
    return true;
  });
  d.ShowPrinter();
  EXPECT_EQ(montrees, 3);
  EXPECT_EQ(d.state.Copies, 2);
  EXPECT_EQ(titre, "Imprimer");
  // Printing to a file is not offered: the letter would go to the printer.
  for (const auto& i : imprimantes) EXPECT_FALSE(i.contains("PDF") || i.contains("fichier")) << i.toStdString();

  qtest::WhenModal([](QWidget* w) {
    if (!w->findChild<QSpinBox*>("copies")) return false;
    QTest::keyClick(w, Qt::Key_Escape);
    return true;
  });
  EXPECT_THROW(d.ShowPrinter(), kup::VbError);
}
