#include "documents/Mdl_ArreteExterne.h"

#include <exception>
#include <string>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/DocumentState.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_DocCommun.h"
#include "documents/Mdl_Panneau.h"
#include "office/ApCourrier.h"

namespace kup {

namespace {

const char* const kNomsReponse = "KUP_ArreteValeursChampsSignets";

// ---------------------------------------------------------------- names

// Merge fields inside included texts first: when there are some, only those
// are asked for, and the value exchange unlinks the included texts and asks
// again for everything.
void AnalyserChamps(ApCourrier& c) {
  c.G_MergeFieldIncludeText = c.FindMergeFields(true);
  if (!c.G_MergeFieldIncludeText) c.FindMergeFields(false);
  c.FindBookMarks();
}

void RepondreNoms(App& app, const StrArray& champs, const StrArray& signets, const std::string& code = {},
                  const std::string& message = {}) {
  RenvoyerReponse(app, {kNomsReponse, Join(champs, Sep240()), Join(signets, Sep240()), code, message});
}

// Puts the values into the driver and fills the bookmarks. True when it
// answered the names reply instead: the included texts or the RTF values
// may have brought fields or bookmarks the Flex interface must fill first.
bool EtapeValeurs(App& app, ApCourrier& c, const Args& args) {
  std::string champs = CStr(Arg(args, 0));
  std::string signets = CStr(Arg(args, 1));
  c.MergeFieldsValues = Split(champs, Sep240());
  c.BookMarksValues = Split(signets, Sep240());
  bool inclus = c.G_MergeFieldIncludeText;
  bool riche = c.InsertBookMarksValues();
  if (!inclus && !riche) return false;
  c.UnlinkIncludeText();
  c.FindMergeFields(false);
  c.FindBookMarks();
  StrArray champsTrouves = c.MergeFields, signetsTrouves = c.BookMarks;
  c.G_MergeFieldIncludeText = false;
  RepondreNoms(app, champsTrouves, signetsTrouves);
  return true;
}

// Argument 1 of an opening command as text. A Null one is no text: it stops
// the command as an invalid use of Null, reported like any failure.
std::string Argument1(const Args& args) { return args.empty() ? std::string() : CStr(args[0]); }

// TYPE_FUSION_ARRETE as the driver's "without fields" choice: "" is 0.
bool SansChamps(App& app) {
  const std::string& type = app.G_TypeFusionArrete;
  if (type.empty()) return false;
  return CBool(Value(type));
}

// The file a compressed base64 decree was written to. The decoder reports
// its own failures and gives ""; a text it could not decode gives the
// temporary folder alone, which is no decree to open.
std::string FichierArreteDecode(App& app, const std::string& texte) {
  std::string chemin = sCommunB64VersFichier(app, texte);
  if (!chemin.empty() && (chemin.back() == '\\' || chemin.back() == '/'))
    raise(vberr::FileNotFound, "Le document reçu n'a pas pu être décodé dans " + chemin);
  return chemin;
}

// Gives the panel the size a request's (width, height) in pixels asks for,
// each pixel count taken as a 32-bit whole number. The height is in place
// before the width is read: a width that is no size stops the command with
// the new height kept, as every earlier step is.
void DimensionnerArrete(MainWindow& w, const Args& args) {
  w.SetOuterSize(w.Width, CLng(Arg(args, 1)) * TwipsPerPixelY);
  w.SetOuterSize(CLng(Arg(args, 0)) * TwipsPerPixelX, w.Height);
}

}  // namespace

// ---------------------------------------------------------------- editing panel

void KUP_ArreteEntrer(App& app, Args& args) {
  Pieger(app, "KUP_ArreteEntrer", [&] {
    MainWindow& w = app.KUP_MDI;
    DocumentState& d = Docs(app);
    PlacePanneau place = PlaceDuPanneau(app, d.arreteGauche, d.arreteHaut);

    if (args.size() == 2) {
      // A bad size stops the command once the window is a panel at its place.
      FigerPanneau(w, place);
      DimensionnerArrete(w, args);
      FenetrePremierPlan(app, w.hWnd, true);
    }

    d.arreteFichier.clear();
    RepondrePlacement(app, "KUP_ArreteEntrer");
  });
}

void KUP_ArreteSortir(App& app, Args& args) {
  try {
    MainWindow& w = app.KUP_MDI;
    DocumentState& d = Docs(app);
    w.Left = d.arreteGauche;
    w.Top = d.arreteHaut;
    FenetrePremierPlan(app, w.hWnd, false);

    if (args.size() == 2) {
      DimensionnerArrete(w, args);
      w.BorderStyle = 2;
      w.Maximise();
      ApCourrier& c = G_Courrier(app);
      if (c.UpdateActiveDocument()) c.CloseDocument(false);
      // The path stays recorded: only the next load, save or editing forgets it.
      if (!d.arreteFichier.empty() && app.fs().fileExists(d.arreteFichier)) app.fs().removeFile(d.arreteFichier);
    }

    RepondrePlacement(app, "KUP_ArreteSortir");
  } catch (...) {
    // Leaving the editing layout never bothers the user.
  }
}

// ---------------------------------------------------------------- opening and field scan

void KUP_ArreteListeModele(App& app, Args& args) {
  if (args.size() < 2) return;
  Pieger(app, "KUP_ArreteListeModele", [&] {
    std::string dossierType = CStr(Arg(args, 0));
    std::string prefixe = CStr(Arg(args, 1));
    std::string sousDossier = CStr(Arg(args, 2));
    StrArray liste =
        sCommunListeModele(app, dossierType, prefixe, sousDossier, "", G_Courrier(app).ExtensionListeModeles());
    RepondreListe(app, "KUP_ArreteListeModele", liste);
  });
}

void KUP_ArreteInitialiser(App& app, Args& args) {
  Pieger(app, "KUP_ArreteInitialiser", [&] {
    ApCourrier& c = G_Courrier(app);
    c.G_AccesDocument = true;
    std::string chemin = Argument1(args);
    if (chemin.empty()) return;
    if (!app.fs().fileExists(chemin)) {
      RepondreNoms(app, {}, {}, "1", "Le fichier " + chemin + " n'existe pas");
      return;
    }
    const long echecs = c.Echecs();
    c.OpenEditor();
    c.OpenDocument(chemin);
    if (c.Echecs() != echecs) return;  // reported by the driver; no names of another document
    c.MinimizeEditor();
    AnalyserChamps(c);
    RepondreNoms(app, c.MergeFields, c.BookMarks);
  });
}

void KUP_ArreteCharger(App& app, Args& args) {
  Pieger(app, "KUP_ArreteCharger", [&] {
    ApCourrier& c = G_Courrier(app);
    DocumentState& d = Docs(app);
    c.G_AccesDocument = true;
    std::string texte = Argument1(args);
    if (texte.empty()) return;
    d.arreteFichier.clear();
    d.arreteFichier = FichierArreteDecode(app, texte);
    if (d.arreteFichier.empty()) return;
    const long echecs = c.Echecs();
    c.OpenEditor();
    c.OpenDocument(d.arreteFichier);
    if (c.Echecs() != echecs) return;  // reported by the driver; no names of another document
    c.MinimizeEditor();
    AnalyserChamps(c);
    RepondreNoms(app, c.MergeFields, c.BookMarks);
  });
}

void KUP_ArreteChargerRTF(App& app, Args& args) {
  Pieger(app, "KUP_ArreteChargerRTF", [&] {
    std::string rtf = Argument1(args);
    if (rtf.empty()) return;
    std::string code = args.size() > 1 ? CStr(args[1]) : std::string();
    ApCourrier& c = G_Courrier(app);
    const long echecs = c.Echecs();
    c.OpenEditor();
    c.OpenDocument("");
    if (c.Echecs() != echecs) return;  // the text would land in the document opened before
    c.InsertTextRTF(rtf, nullptr, false);
    c.MinimizeEditor();
    // A catalogue that loaded with errors renames nothing: the V2 names stay.
    if (app.G_ResCatalogue == 0 && app.G_ResEquivalence == 0) {
      c.SubstituteMergeFieldsDocument(UCase(code), app.G_Catalogue.get(), app.G_Equivalence.get(),
                                      app.G_ErrCatalogue.get());
      c.SubstituteBookMarks(app.G_Equivalence.get(), app.G_ErrCatalogue.get());
    }
    AnalyserChamps(c);
    RepondreNoms(app, c.MergeFields, c.BookMarks);
  });
}

void KUP_ArreteRelancerFusion(App& app, Args& args) {
  Pieger(app, "KUP_ArreteRelancerFusion", [&] {
    ApCourrier& c = G_Courrier(app);
    DebugKUP(app, "KUP_ArreteRelancerFusion (taille document)", std::to_string(c.OpenedDocumentLength()));
    c.UpdateActiveDocument();
    c.MinimizeEditor();
    if (!c.G_AccesDocument) {
      DocumentFerme(app);
      return;
    }
    AnalyserChamps(c);
    RepondreNoms(app, c.MergeFields, c.BookMarks);
  });
}

// ---------------------------------------------------------------- values, merge, save and print

void KUP_ArreteOuvrir(App& app, Args& args) {
  Pieger(app, "KUP_ArreteOuvrir", [&] {
    ApCourrier& c = G_Courrier(app);
    if (!EtapeValeurs(app, c, args)) {
      c.MailMergeOpen(SansChamps(app), false);
      RenvoyerReponse(app, ReponseEcho("KUP_ArreteOuvrir", args));
    }
    DebugKUP(app, "KUP_ArreteOuvrir (taille document)", std::to_string(c.OpenedDocumentLength()));
  });
}

void KUP_ArreteImprimer(App& app, Args& args) {
  Pieger(app, "KUP_ArreteImprimer", [&] {
    ApCourrier& c = G_Courrier(app);
    if (!EtapeValeurs(app, c, args)) {
      // A setting that is no merge choice stops the command before anything is printed.
      bool sansChamps = SansChamps(app);
      c.MailMergePrint(1, false, true, false);
      c.MailMergeOpen(sansChamps, false);
      RenvoyerReponse(app, {"", "", "", "", ""});
    }
    Docs(app).arreteImprime = true;
  });
}

void KUP_ArreteSauver(App& app, Args& args) {
  auto echec = [&](int32_t numero, const std::string& description) {
    RenvoyerReponse(app, {"KUP_ArreteSauver", "", std::to_string(numero), description, ""});
  };
  try {
    ApCourrier& c = G_Courrier(app);
    DocumentState& d = Docs(app);
    c.UpdateActiveDocument();
    if (!c.G_AccesDocument) {
      DocumentFerme(app);
      return;
    }
    if (!EtapeValeurs(app, c, args)) {
      c.MailMergeOpen(SansChamps(app), false);
      std::string fichier = c.SaveTemp();
      if (fichier.empty()) {
        // The driver has said why; the file of the last load or save is kept
        // so that leaving the editing still deletes it.
        echec(0, "");
        return;
      }
      d.arreteFichier = fichier;
      c.CloseDocument(false);
      std::string texte = sCommunFichierVersB64(app, fichier);
      // The decree goes back into the word processor for further editing,
      // whether or not it could be encoded.
      c.OpenDocument(fichier);
      c.MailMergeOpen(false, false);
      if (texte.empty()) {
        // An empty text would be stored as the decree and lose it.
        echec(vberr::PathFileAccess, "L'arrêté enregistré dans " + fichier + " n'a pas pu être encodé");
        return;
      }
      RenvoyerReponse(app, {"KUP_ArreteSauver", texte, "", ""});
    }
    d.arreteImprime = false;
  } catch (const VbError& e) {
    echec(e.number(), e.description());
  } catch (const std::exception& e) {
    echec(vberr::InternalError, e.what());
  }
}

void KUP_ArreteEstModifie(App& app, Args& args) {
  Pieger(app, "KUP_ArreteEstModifie", [&] {
    DocumentState& d = Docs(app);
    bool modifie;
    if (d.arreteImprime) {
      // A printed decree counts as changed once, whatever the word processor says.
      modifie = true;
      d.arreteImprime = false;
    } else {
      modifie = !G_Courrier(app).Saved();
    }
    RenvoyerReponse(app, {"KUP_ArreteEstModifie", modifie ? "1" : "0", "", ""});
  });
}

void KUP_ArreteSupprimer(App& app, Args& args) {
  try {
    ApCourrier& c = G_Courrier(app);
    if (c.UpdateActiveDocument()) c.CloseDocument(false);
    RenvoyerReponse(app, {"KUP_ArreteSupprimer", "", ""});
  } catch (const VbError& e) {
    RenvoyerReponse(app, {"KUP_ArreteSupprimer", std::to_string(e.number()), e.description()});
  } catch (const std::exception& e) {
    RenvoyerReponse(app, {"KUP_ArreteSupprimer", std::to_string(vberr::InternalError), e.what()});
  }
}

// ---------------------------------------------------------------- insertion

namespace {

// Refuses a closed decree; inserts only a single, non-empty text.
template <class F>
void Inserer(App& app, Args& args, const char* source, F&& inserer) {
  Pieger(app, source, [&] {
    ApCourrier& c = G_Courrier(app);
    if (!c.G_AccesDocument) {
      DocumentFerme(app);
      return;
    }
    if (args.size() != 1) return;
    std::string texte = StrOrEmpty(args[0]);
    if (texte.empty()) return;
    inserer(c, texte);
  });
}

}  // namespace

void KUP_ArreteInsererRTF(App& app, Args& args) {
  Inserer(app, args, "KUP_ArreteInsererRTF",
          [](ApCourrier& c, const std::string& texte) { c.InsertTextRTF(texte, nullptr, false); });
}

void KUP_ArreteInsererTexte(App& app, Args& args) {
  Inserer(app, args, "KUP_ArreteInsererTexte",
          [](ApCourrier& c, const std::string& texte) { c.InsertText(texte, false, nullptr); });
}

void KUP_ArreteInsererArrete(App& app, Args& args) {
  Inserer(app, args, "KUP_ArreteInsererArrete", [&](ApCourrier& c, const std::string& texte) {
    // The decoded file stays in the temporary folder.
    std::string chemin = FichierArreteDecode(app, texte);
    if (!chemin.empty()) c.InsertFileRTF(chemin);
  });
}

// ---------------------------------------------------------------- registration

void RegisterMdl_ArreteExterne(CommandTable& table) {
  table.add("KUP_ArreteEntrer", KUP_ArreteEntrer);
  table.add("KUP_ArreteSortir", KUP_ArreteSortir);
  table.add("KUP_ArreteListeModele", KUP_ArreteListeModele);
  table.add("KUP_ArreteInitialiser", KUP_ArreteInitialiser);
  table.add("KUP_ArreteCharger", KUP_ArreteCharger);
  table.add("KUP_ArreteChargerRTF", KUP_ArreteChargerRTF);
  table.add("KUP_ArreteRelancerFusion", KUP_ArreteRelancerFusion);
  table.add("KUP_ArreteOuvrir", KUP_ArreteOuvrir);
  table.add("KUP_ArreteImprimer", KUP_ArreteImprimer);
  table.add("KUP_ArreteSauver", KUP_ArreteSauver);
  table.add("KUP_ArreteEstModifie", KUP_ArreteEstModifie);
  table.add("KUP_ArreteSupprimer", KUP_ArreteSupprimer);
  table.add("KUP_ArreteInsererRTF", KUP_ArreteInsererRTF);
  table.add("KUP_ArreteInsererTexte", KUP_ArreteInsererTexte);
  table.add("KUP_ArreteInsererArrete", KUP_ArreteInsererArrete);
}

}  // namespace kup
