#pragma once
// The colour-theme window on screen: Qt widgets laid out, painted and
// enabled as the window model says, every click and key handed to the
// model's gestures. The model decides; this view only shows it again after
// each gesture, and follows its showing and unloading.
#include <functional>
#include <map>
#include <memory>
#include <string>

class QWidget;
class QTableWidget;
class QPushButton;
class QLineEdit;
class QCheckBox;
class QGroupBox;

namespace kup {

class FormCoulSig;
class GrilleFlex;

class FenetreCoulSig {
 public:
  // Runs a gesture in the application (desktop mode: through the event
  // gate, so that nothing else enters meanwhile).
  using Executer = std::function<void(const std::function<void()>&)>;
  FenetreCoulSig(FormCoulSig& modele, Executer executer);
  ~FenetreCoulSig();
  FenetreCoulSig(const FenetreCoulSig&) = delete;
  FenetreCoulSig& operator=(const FenetreCoulSig&) = delete;

  // The top-level window, and each control under its name in the model
  // ("msFlexParcelle", "CmdNouvCol", "Check1", "Frame2"...), for tests.
  QWidget* fenetre() const;
  QWidget* controle(const std::string& nom) const;
  QTableWidget* grille(const std::string& nom) const;
  // The model row shown by a table row (the heading row is the table's header).
  static long LigneModele(const GrilleFlex& g, int ligneTable);
  static int LigneTable(const GrilleFlex& g, long ligneModele);

  // Shows the model again (after a gesture).
  void rafraichir();

 private:
  struct Widgets;
  void geste(const std::function<void()>& f);
  void montrer();
  void masquer();
  void redimensionne(int largeur, int hauteur);
  void fermee();

  FormCoulSig& modele_;
  Executer executer_;
  std::unique_ptr<Widgets> w_;
  bool synchro_ = false;
};

}  // namespace kup
