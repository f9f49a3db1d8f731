#include "documents/Mdl_TaxeExterne.h"

#include <exception>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/DocumentState.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_DocCommun.h"
#include "documents/Mdl_Panneau.h"
#include "office/ApTableur.h"

namespace kup {

namespace {

void ListeModele(App& app, Args& args, const std::string& nom, const std::string& sousDossier) {
  if (args.size() < 2) return;
  Pieger(app, nom, [&] {
    std::string prefixe = CStr(Arg(args, 1));
    std::string dossier = CStr(Arg(args, 2));
    StrArray liste =
        sCommunListeModele(app, sousDossier, prefixe, dossier, "", G_Tableur(app).ExtensionListeModeles());
    RepondreListe(app, nom, liste);
  });
}

}  // namespace

// ---------------------------------------------------------------- documents

void KUP_TaxeInitialiser(App& app, Args& args) {
  Pieger(app, "KUP_TaxeInitialiser", [&] {
    ApTableur& tableur = G_Tableur(app);
    tableur.G_AccesDocument = true;
    std::string modele = CStr(Arg(args, 0));
    if (modele.empty()) return;
    // A template that did not open, or whose fields could not be read, has
    // no fields to answer: the failure is reported instead.
    const long echecs = tableur.Echecs();
    tableur.OpenCalc();
    if (tableur.Echecs() == echecs) tableur.OpenDocument(modele);
    if (tableur.Echoue(echecs)) return;
    tableur.MinimizeCalc();
    tableur.GotoSheetIndex(2);
    tableur.FindMergeFields(true);
    if (tableur.Echoue(echecs)) return;
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
    const long echecs = tableur.Echecs();
    tableur.OpenCalc();
    if (tableur.Echecs() == echecs) tableur.OpenDocument(chemin);
    if (tableur.Echoue(echecs)) return;
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
    const long echecs = tableur.Echecs();
    tableur.MailMergeOpen(true);
    if (tableur.Echoue(echecs)) return;
    tableur.GotoSheetIndex(1);
    if (tableur.Echoue(echecs)) return;
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
    const long echecs = tableur.Echecs();
    tableur.MailMergeOpen(false);
    if (tableur.Echoue(echecs)) return;
    tableur.GotoSheetIndex(1);
    tableur.MailMergeOpen(true);
    if (tableur.Echoue(echecs)) return;
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
    // A workbook the driver could not read whole is not answered: a partial
    // document would be stored in place of the user's work. One that went
    // away (OpenOffice cannot tell beforehand that the user closed it) is
    // the closed document; any other failure is reported.
    const long echecs = tableur.Echecs();
    auto echoue = [&] {
      if (tableur.Echecs() == echecs) return false;
      if (tableur.ClasseurAccessible())
        tableur.RapporterEchec();
      else
        DocumentFerme(app);
      return true;
    };
    tableur.GotoSheetIndex(1);
    if (echoue()) return;
    tableur.FindMergeFields(true);
    tableur.FindMergeFieldsValues();
    if (echoue()) return;

    // The open document holds its file: a second copy binds it elsewhere so
    // that the first can be read and deleted.
    std::string premier = tableur.SaveTemp();
    if (echoue()) return;
    std::string texte;
    if (!premier.empty()) {
      tableur.SaveTemp();
      texte = sCommunFichierVersB64(app, premier);
      try {
        if (app.fs().fileExists(premier)) app.fs().removeFile(premier);
      } catch (const std::exception& e) {
        DebugKUP(app, "KUP_TaxeValider", e.what());
      }
      if (echoue()) return;
      // Answering an empty document would have it stored in place of the
      // user's work.
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
  auto etape = [&](auto&& f) { return EtapeModele(app, "KUP_TaxeChoixModele", f); };

  // Joined as text, a null folder adds nothing to the path.
  std::string dossier;
  if (!etape([&] { dossier = app.G_RepModele + "\\" + StrOrEmpty(Arg(args, 0)) + "\\Taxe\\Taxe\\"; })) return;
  bool vide = true;
  if (!etape([&] {
        // A web address names no folder to list: the probe fails, as a bad
        // file name, rather than find it empty.
        if (LCase(Left(dossier, 4)) == "http") raise(vberr::BadFileName, vbErrorText(vberr::BadFileName));
        vide = app.fs().listFiles(dossier).empty();
      }))
    return;
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
    PlacePanneau place = PlaceDuPanneau(app, d.taxeGauche, d.taxeHaut);

    if (args.size() == 2) {
      // The size first, so that a bad one leaves the window as it was.
      DimensionnerPanneau(w, args);
      FigerPanneau(w, place);
      EffacerBarreControle(app, w.hWnd);
      FenetrePremierPlan(app, w.hWnd, true);
    }
    RepondrePlacement(app, "KUP_TaxeEntrer", true);
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
    w.Maximise();
    AfficherBarreControle(app, w.hWnd);
    ApTableur& tableur = G_Tableur(app);
    if (tableur.UpdateActiveDocument()) tableur.CloseDocument();
    RepondrePlacement(app, "KUP_TaxeSortir", true);
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
