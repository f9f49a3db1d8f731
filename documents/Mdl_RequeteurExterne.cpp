#include "documents/Mdl_RequeteurExterne.h"

#include <exception>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_DocCommun.h"
#include "office/ApTableur.h"

namespace kup {

namespace {

// The interface writes paths with every "\" doubled. Undoubling takes a
// network path's leading pair down to one "\", which is put back.
std::string CheminModele(const std::string& texte) {
  std::string chemin = Replace(texte, "\\\\", "\\");
  if (Left(chemin, 1) == "\\" && Left(chemin, 2) != "\\\\") chemin = "\\" + chemin;
  return chemin;
}

}  // namespace

std::string sFeuilleListing(const std::string& nomFormule) {
  long pos = InStrRev(nomFormule, "_");
  return "Listing " + (pos > 0 ? Mid(nomFormule, pos + 1) : std::string("1"));
}

void KUP_RequeteurListeModele(App& app, Args& args) {
  if (args.size() < 2) return;
  Pieger(app, "KUP_RequeteurListeModele", [&] {
    StrArray liste = sCommunListeFichier(app, app.G_RepModele + "\\Requeteur\\", G_Tableur(app).Extension());
    RepondreListe(app, "KUP_RequeteurListeModele", liste);
  });
}

void KUP_RequeteurOuvrir(App& app, Args& args) {
  static const char* kSource = "KUP_RequeteurOuvrir";
  Pieger(app, kSource, [&] {
    std::string demande = CStr(Arg(args, 0));
    if (demande.empty()) return;
    Args donnees{Arg(args, 1), Arg(args, 2)};
    Args parametres{Arg(args, 3), Arg(args, 4)};
    std::string modele = CheminModele(demande);
    if (!app.fs().fileExists(modele)) modele = CStr(Arg(args, 5));

    ApTableur& tableur = G_Tableur(app);
    // A workbook that did not open, or did not get its data, is not answered:
    // the failure that ended the command is reported. Within the later steps
    // a failed one ends its own part (the next would work on another cell or
    // sheet), the spreadsheet's failure is only traced, and the workbook is
    // still answered.
    long echecs = tableur.Echecs();
    auto tenu = [&] { return tableur.Echecs() == echecs; };
    std::string fichierDonnees = tableur.ExportToTextFile(donnees, Sep241(), Sep240(), false);
    if (!tenu()) return;
    tableur.OpenCalc();
    if (tenu()) tableur.OpenDocument(modele);
    if (tableur.Echoue(echecs)) return;
    tableur.MinimizeCalc();

    // The template's own names, before this command adds its own.
    tableur.FindMergeFields(false);
    const StrArray nomsModele = tableur.MergeFields;

    echecs = tableur.Echecs();
    tableur.GotoSheetName("Donnees");
    if (tenu()) tableur.GotoCell(1, 1);
    if (tenu()) tableur.InsertTextFile(fichierDonnees);
    if (tableur.Echoue(echecs)) return;
    const int32_t lignes = tableur.RowCount();  // the header row counts
    const int32_t colonnes = tableur.ColCount();
    for (int32_t j = 1; j <= colonnes; ++j) {
      echecs = tableur.Echecs();
      tableur.GotoCell(2, j);
      if (tenu()) tableur.SelectEndOfCol();
      if (tenu()) tableur.SetSelectionName(std::to_string(j) + "COL");
    }
    echecs = tableur.Echecs();

    // The parameters are an extra: their failure leaves the formulas to do.
    try {
      std::string fichierParametres = tableur.ExportToTextFile(parametres, Sep241(), Sep240(), false);
      if (tenu()) tableur.GotoSheetName("Parametres");
      if (tenu()) tableur.GotoCell(1, 1);
      if (tenu()) tableur.InsertTextFile(fichierParametres);
      const int32_t p = tenu() ? tableur.RowCount() : 0;
      static const char* kSuffixes[] = {"PARAM", "PARAM_FONC", "PARAM_VAL", "PARAM_EXEC"};
      for (int32_t k = 1; k <= p - 1; ++k) {
        for (int32_t c = 1; c <= 4; ++c) {
          echecs = tableur.Echecs();
          tableur.GotoCell(k + 1, c);
          if (tenu()) tableur.SetSelectionName(std::to_string(k) + kSuffixes[c - 1]);
        }
      }
    } catch (const VbError& e) {
      DebugKUP(app, kSource, std::to_string(e.number()) + " : " + e.description());
    } catch (const std::exception& e) {
      DebugKUP(app, kSource, e.what());
    }

    // One formula row per record: the template holds one.
    std::string premiereFeuille;
    for (const auto& nom : nomsModele) {
      if (nom.find("FORMULE") == std::string::npos) continue;
      std::string feuille = sFeuilleListing(nom);
      if (premiereFeuille.empty()) premiereFeuille = feuille;
      // A failed step ends this formula's rows, not the others.
      echecs = tableur.Echecs();
      tableur.GotoSheetName(feuille);
      if (tenu()) tableur.GotoCellName(nom);
      if (tenu()) tableur.GotoNextRow();
      if (tenu()) tableur.InsertEmptyRow(lignes - 3);
      if (tenu()) tableur.GotoCellName(nom);
      if (tenu()) tableur.AutoFill(lignes - 2);
    }
    if (!premiereFeuille.empty()) tableur.GotoSheetName(premiereFeuille);

    tableur.MaximizeCalc();
    tableur.Saved(true);
    RenvoyerReponse(app, {"KUP_RequeteurOuvrir", modele, "", ""});
  });
}

void RegisterMdl_RequeteurExterne(CommandTable& table) {
  table.add("KUP_RequeteurListeModele", KUP_RequeteurListeModele);
  table.add("KUP_RequeteurOuvrir", KUP_RequeteurOuvrir);
}

}  // namespace kup
