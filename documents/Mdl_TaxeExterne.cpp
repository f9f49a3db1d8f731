#include "documents/Mdl_TaxeExterne.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "core/Core.h"
#include "core/VbError.h"
#include "core/VbString.h"
#include "documents/DocumentState.h"
#include "documents/Mdl_Commun.h"
#include "office/ApTableur.h"

namespace kup {

namespace {

// Runs a handler's body; a failure ends it and goes to TraiterErreur under
// the handler's name.
template <class F>
void Pieger(App& app, const std::string& source, F&& f) {
  try {
    f();
  } catch (const VbError& e) {
    TraiterErreur(app, source, e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, source, vberr::InternalError, e.what());
  }
}

// The reply of the commands that echo what they received: the name, every
// argument but the last, then the two status values.
StrArray ReponseEcho(const std::string& nom, const Args& args) {
  StrArray reply{nom};
  for (size_t i = 0; i + 1 < args.size(); ++i) reply.push_back(StrOrEmpty(args[i]));
  reply.push_back("");
  reply.push_back("");
  return reply;
}

// A window measure as the text of a single-precision number.
std::string TexteSimple(double valeur) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(static_cast<float>(valeur)));
  return NumberText(std::strtod(buf, nullptr));
}

// Gives the main window a new outer size; its inner size follows by the
// same amount, the frame staying what it was.
void Dimensionner(MainWindow& w, double largeur, double hauteur) {
  w.ScaleWidth = std::max(0.0, w.ScaleWidth + largeur - w.Width);
  w.ScaleHeight = std::max(0.0, w.ScaleHeight + hauteur - w.Height);
  w.Width = largeur;
  w.Height = hauteur;
}

StrArray ReponseFenetre(const std::string& nom, const MainWindow& w) {
  return {nom, TexteSimple(w.ScaleWidth), TexteSimple(w.ScaleHeight), "", ""};
}

void ListeModele(App& app, Args& args, const std::string& nom, const std::string& sousDossier) {
  if (args.size() < 2) return;
  Pieger(app, nom, [&] {
    std::string prefixe = CStr(Arg(args, 1));
    std::string dossier = CStr(Arg(args, 2));
    StrArray liste =
        sCommunListeModele(app, sousDossier, prefixe, dossier, "", G_Tableur(app).ExtensionListeModeles());
    if (liste.empty()) raise(vberr::SubscriptOutOfRange, vbErrorText(vberr::SubscriptOutOfRange));
    RenvoyerReponse(app, {nom, liste[0], "", ""});
  });
}

void DocumentFerme(App& app) { TraiterErreur(app, "Communication", 1, "Document fermé"); }

}  // namespace

// ---------------------------------------------------------------- documents

void KUP_TaxeInitialiser(App& app, Args& args) {
  Pieger(app, "KUP_TaxeInitialiser", [&] {
    ApTableur& tableur = G_Tableur(app);
    tableur.G_AccesDocument = true;
    std::string modele = CStr(Arg(args, 0));
    if (modele.empty()) return;
    tableur.OpenCalc();
    tableur.OpenDocument(modele);
    tableur.MinimizeCalc();
    tableur.GotoSheetIndex(2);
    tableur.FindMergeFields(true);
    RenvoyerReponse(app, {"KUP_TaxeValeursChamps", Join(tableur.MergeFields, Sep240()), "", ""});
  });
}

void KUP_TaxeCharger(App& app, Args& args) {
  Pieger(app, "KUP_TaxeCharger", [&] {
    ApTableur& tableur = G_Tableur(app);
    tableur.G_AccesDocument = true;
    std::string texte = CStr(Arg(args, 0));
    if (texte.empty()) return;
    std::string chemin = sCommunB64VersFichier(app, texte);
    if (chemin.empty()) return;  // the decoder has reported its failure
    // A path without a name: the library could not write the document.
    // Opening nothing and answering would tell the interface it is open.
    if (chemin.back() == '\\' || chemin.back() == '/') raise(vberr::FileNotFound, vbErrorText(vberr::FileNotFound));
    Docs(app).taxeFichierCharge = chemin;
    tableur.OpenCalc();
    tableur.OpenDocument(chemin);
    tableur.MaximizeCalc();
    RenvoyerReponse(app, {"KUP_TaxeCharger", "", "", "", ""});
  });
}

void KUP_TaxeOuvrir(App& app, Args& args) {
  Pieger(app, "KUP_TaxeOuvrir", [&] {
    std::string valeurs = CStr(Arg(args, 2));
    ApTableur& tableur = G_Tableur(app);
    // The names stay those the last initialisation found.
    tableur.MergeFieldsValues = Split(valeurs, Sep240());
    tableur.MailMergeOpen(true);
    tableur.GotoSheetIndex(1);
    RenvoyerReponse(app, ReponseEcho("KUP_TaxeOuvrir", args));
  });
}

void KUP_TaxeOuvrirV2(App& app, Args& args) {
  Pieger(app, "KUP_TaxeOuvrirV2", [&] {
    std::string noms = CStr(Arg(args, 2));
    std::string valeurs = CStr(Arg(args, 3));
    ApTableur& tableur = G_Tableur(app);
    tableur.MergeFields = Split(noms, Sep240());
    tableur.MergeFieldsValues = Split(valeurs, Sep240());
    // Once on the sheet the initialisation left active, once on the first.
    tableur.MailMergeOpen(false);
    tableur.GotoSheetIndex(1);
    tableur.MailMergeOpen(true);
    RenvoyerReponse(app, ReponseEcho("KUP_TaxeOuvrir", args));
  });
}

void KUP_TaxeValider(App& app, Args& args) {
  Pieger(app, "KUP_TaxeValider", [&] {
    ApTableur& tableur = G_Tableur(app);
    tableur.UpdateActiveDocument();
    tableur.MinimizeCalc();
    if (!tableur.G_AccesDocument) {
      DocumentFerme(app);
      return;
    }
    tableur.GotoSheetIndex(1);
    tableur.FindMergeFields(true);
    tableur.FindMergeFieldsValues();

    // The open document holds its file: a second copy binds it elsewhere so
    // that the first can be read and deleted.
    std::string premier = tableur.SaveTemp();
    std::string texte;
    if (!premier.empty()) {
      tableur.SaveTemp();
      texte = sCommunFichierVersB64(app, premier);
      try {
        if (app.fs().fileExists(premier)) app.fs().removeFile(premier);
      } catch (const std::exception& e) {
        DebugKUP(app, "KUP_TaxeValider", e.what());
      }
    }
    if (tableur.typeConnu()) {
      // Answering an empty document would have it stored in place of the
      // user's work. A workbook that cannot be saved is one the user closed
      // (the OpenOffice driver cannot tell beforehand).
      if (premier.empty()) {
        DocumentFerme(app);
        return;
      }
      if (texte.empty()) raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess));
    }
    RenvoyerReponse(app, {"KUP_TaxeValider", Join(tableur.MergeFields, Sep240()),
                          Join(tableur.MergeFieldsValues, Sep240()), texte, "", ""});
  });
}

// ---------------------------------------------------------------- templates and window layout

void KUP_TaxeListeModele(App& app, Args& args) { ListeModele(app, args, "KUP_TaxeListeModele", "taxe\\taxe"); }

void KUP_PartListeModele(App& app, Args& args) {
  ListeModele(app, args, "KUP_PartListeModele", "taxe\\participation");
}

void KUP_TaxeChoixModele(App& app, Args& args) {
  static const char* kSource = "KUP_TaxeChoixModele";
  // With a template root on a web server a failing step switches the root to
  // the program folder for the rest of the session and the command goes on.
  auto etape = [&](auto&& f) {
    try {
      f();
      return true;
    } catch (const std::exception& e) {
      if (LCase(Left(app.G_RepModele, 4)) == "http") {
        app.G_RepModele = app.env().programFolder();
        return true;
      }
      if (auto* vb = dynamic_cast<const VbError*>(&e))
        TraiterErreur(app, kSource, vb->number(), vb->description());
      else
        TraiterErreur(app, kSource, vberr::InternalError, e.what());
      return false;
    }
  };

  std::string dossier;
  if (!etape([&] { dossier = app.G_RepModele + "\\" + CStr(Arg(args, 0)) + "\\Taxe\\Taxe\\"; })) return;
  bool vide = true;
  if (!etape([&] { vide = app.fs().listFiles(dossier).empty(); })) return;
  if (vide) dossier = app.G_RepModele + "\\Taxe\\Taxe\\";

  std::string chemin;
  if (!etape([&] {
        if (!app.pf.dialog) raise(vberr::ObjectVariableNotSet, vbErrorText(vberr::ObjectVariableNotSet));
        chemin = G_Tableur(app).ChoiceFile(*app.pf.dialog, dossier);
      }))
    return;
  if (chemin.empty()) return;
  auto pos = chemin.find_last_of("\\/");
  std::string nom = pos == std::string::npos ? chemin : chemin.substr(pos + 1);
  std::string choisi = pos == std::string::npos ? std::string() : chemin.substr(0, pos + 1);
  std::string appel;
  if (!etape([&] { appel = sInvokeXML("KUP_TaxeChoixModele", {choisi + Sep241() + nom, "", ""}); })) return;
  etape([&] { KUP_EnvoyerChaineVersFlex(app, appel); });
}

void KUP_TaxeEntrer(App& app, Args& args) {
  Pieger(app, "KUP_TaxeEntrer", [&] {
    MainWindow& w = app.KUP_MDI;
    DocumentState& d = Docs(app);
    d.taxeGauche = CLng(Value(w.Left));
    d.taxeHaut = CLng(Value(w.Top));
    d.taxeLargeur = w.Width;
    d.taxeHauteur = w.Height;

    // A malformed position leaves the window where it stands.
    int32_t x = d.taxeGauche, y = d.taxeHaut;
    std::string position = Gen_LireParametreKUP(app, "EDITION", "POSITION_FENETRE_ARRETE", "");
    if (!position.empty()) {
      auto parties = Split(Replace(Replace(position, "(", ""), ")", ""), ",");
      try {
        if (parties.size() > 0) x = CLng(Value(parties[0]));
      } catch (const VbError&) {
      }
      try {
        if (parties.size() > 1) y = CLng(Value(parties[1]));
      } catch (const VbError&) {
      }
    }

    if (args.size() == 2) {
      // Sizes first: a size that is no number leaves the window as it was.
      double largeur = CDbl(args[0]) * TwipsPerPixelX;
      double hauteur = CDbl(args[1]) * TwipsPerPixelY;
      w.WindowState = 0;
      w.BorderStyle = 3;
      w.Left = x;
      w.Top = y;
      EffacerBarreControle(app, w.hWnd);
      Dimensionner(w, largeur, hauteur);
      FenetrePremierPlan(app, w.hWnd, true);
    }
    RenvoyerReponse(app, ReponseFenetre("KUP_TaxeEntrer", w));
  });
}

void KUP_TaxeSortir(App& app, Args& args) {
  Pieger(app, "KUP_TaxeSortir", [&] {
    MainWindow& w = app.KUP_MDI;
    DocumentState& d = Docs(app);
    w.Left = d.taxeGauche;
    w.Top = d.taxeHaut;
    FenetrePremierPlan(app, w.hWnd, false);
    w.BorderStyle = 2;
    w.WindowState = 2;
    // Maximised again: the window takes back the size it had before the panel.
    if (d.taxeLargeur > 0 && d.taxeHauteur > 0) Dimensionner(w, d.taxeLargeur, d.taxeHauteur);
    AfficherBarreControle(app, w.hWnd);
    ApTableur& tableur = G_Tableur(app);
    if (tableur.UpdateActiveDocument()) tableur.CloseDocument();
    RenvoyerReponse(app, ReponseFenetre("KUP_TaxeSortir", w));
  });
}

void RegisterMdl_TaxeExterne(CommandTable& table) {
  table.add("KUP_TaxeInitialiser", KUP_TaxeInitialiser);
  table.add("KUP_TaxeCharger", KUP_TaxeCharger);
  table.add("KUP_TaxeOuvrir", KUP_TaxeOuvrir);
  table.add("KUP_TaxeOuvrirV2", KUP_TaxeOuvrirV2);
  table.add("KUP_TaxeValider", KUP_TaxeValider);
  table.add("KUP_TaxeListeModele", KUP_TaxeListeModele);
  table.add("KUP_PartListeModele", KUP_PartListeModele);
  table.addDeferred("KUP_TaxeChoixModele", 1000, KUP_TaxeChoixModele);
  table.add("KUP_TaxeEntrer", KUP_TaxeEntrer);
  table.add("KUP_TaxeSortir", KUP_TaxeSortir);
}

}  // namespace kup
