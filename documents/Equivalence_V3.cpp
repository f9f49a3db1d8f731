#include "documents/Equivalence_V3.h"

#include <optional>
#include <string>
#include <vector>

#include "core/App.h"
#include "vb/VbString.h"
#include "documents/LecteurTexte.h"
#include "documents/Mdl_Equivalence.h"

namespace kup {

namespace {

// The application's title, as the message boxes of the program show it.
constexpr const char* kTitreApplication = "Korvane";

void catalogueManquant(App& app) {
  if (app.pf.msgbox) app.pf.msgbox->show("il faut charger le catalogue", platform::mb::Critical, kTitreApplication);
}

// line & ";" & field 0 & ";;" & description: a line the pass could not use.
void rangeeEchec(ErreurTxt& clserr, long nbl, std::string_view champ0, std::string_view description) {
  std::string r = std::to_string(nbl);
  r += ';';
  r += champ0;
  r += ";;";
  r += description;
  clserr.ErreurChargement(r);
}

void rangeeSansEquivalence(ErreurTxt& clserr, long nbl, std::string_view champ0) {
  std::string r = std::to_string(nbl);
  r += ';';
  r += champ0;
  r += ";; sans équivalence V3";
  clserr.ErreurChargement(r);
}

}  // namespace

int16_t Equivalence_V3::ChargerEquivalence_v3(App& app, const std::string& ficequiv, Catal_V3& cv3,
                                              ErreurTxt& clserr) {
  if (cv3.CatV3.empty() || cv3.SIGV3.empty()) return 0;
  ChargerVariableEquivalence_v3(app, ficequiv, cv3, clserr);
  const std::string ficsig = sRepertoireChemin(ficequiv) + "\\SIG_" + Mid(sNomFichierChemin(ficequiv), 5);
  return ChargerSignetEquivalence_v3(app, ficsig, cv3, clserr);
}

int16_t Equivalence_V3::ChargerVariableEquivalence_v3(App& app, const std::string& ficequiv, Catal_V3& cv3,
                                                      ErreurTxt& clserr) {
  if (cv3.CatV3.empty()) {
    catalogueManquant(app);
    return 0;
  }
  int16_t resultat = 0;
  nbl_ = 0;
  VarEquiv.Clear();
  std::optional<LecteurTexte> fichier;
  std::string_view champ0;  // field 0 of the line being read, for the failure row
  try {
    fichier.emplace(LecteurTexte::Ouvrir(app, ficequiv));
    VarEquiv.reserve(fichier->LignesEstimees());
    std::string_view ligne;
    ChampsLigne tb, noms, codes;
    std::vector<size_t> trouves;  // positions in the catalogue, npos when absent
    static const ChampsLigne codeDefaut{"AA"};
    std::string cle;
    while (fichier->LireLigne(ligne)) {
      ++nbl_;
      champ0 = {};
      DecouperChamps(ligne, ';', tb);
      // A line the pass cannot read is reported and the next line is read:
      // one blank line must not cost every equivalence after it. Such a
      // line is unreadable rather than without equivalence: the result stays
      // as it was.
      if (tb.empty()) {
        rangeeEchec(clserr, nbl_, champ0, "ligne vide");
        continue;
      }
      champ0 = tb[0];
      if (tb.size() < 2) {
        rangeeEchec(clserr, nbl_, champ0, "nom V3 absent");
        continue;
      }
      if (tb[0].empty() || tb[1].empty()) {
        rangeeSansEquivalence(clserr, nbl_, champ0);
        resultat = 1;
        continue;
      }
      if (tb.size() < 3) {
        rangeeEchec(clserr, nbl_, champ0, "mode absent");
        continue;
      }
      // Without codes the equivalence holds for the fallback code AA; a
      // field of blanks gives no code at all.
      const ChampsLigne* listeCodes;
      if (tb.size() > 3 && !tb[3].empty()) {
        DecouperChamps(SansBlancs(tb[3]), ' ', codes);
        listeCodes = &codes;
      } else {
        listeCodes = &codeDefaut;
      }
      if (listeCodes->empty()) continue;
      // The V3 names are looked up once per line; the check and its rows
      // are repeated for every code, as each code makes its own entry.
      const std::string_view nomV2 = SansBlancs(tb[0]);
      const std::string_view nomsV3 = SansBlancs(tb[1]);
      DecouperChamps(nomsV3, ' ', noms);
      trouves.clear();
      for (std::string_view nom : noms) trouves.push_back(cv3.CatV3.Indice(nom));
      const std::string mode = LCase(SansBlancs(tb[2]));
      for (std::string_view code : *listeCodes) {
        for (size_t k = 0; k < noms.size(); ++k) {
          if (trouves[k] == CollectionVariables::npos) {
            std::string r = std::to_string(nbl_);
            r += ';';
            r += nomV2;
            r += ';';
            r += noms[k];
            r += ";n'est pas dans le catalogue V3";
            clserr.ErreurChargement(r);
          }
        }
        if (noms.size() == 1 && trouves[0] != CollectionVariables::npos) cv3.CatV3.DefinirNomEX(trouves[0], nomV2);
        VariableEquiv_V3 e;
        e.nom = nomV2;
        e.NomEquiv = nomsV3;
        e.Mode = mode;
        e.Code = SansBlancs(code);
        cle.assign(tb[0]);
        cle += '_';
        cle += code;
        AjouterEquivalence(std::move(e), cle, clserr);
      }
    }
  } catch (const std::exception& ex) {
    rangeeEchec(clserr, nbl_, champ0, DescriptionEchec(ex));
  }
  return resultat;
}

int16_t Equivalence_V3::ChargerSignetEquivalence_v3(App& app, const std::string& ficequiv, Catal_V3& cv3,
                                                    ErreurTxt& clserr) {
  if (cv3.SIGV3.empty()) {
    catalogueManquant(app);
    return 0;
  }
  int16_t resultat = 0;
  nbl_ = 0;
  SigEquiv.Clear();
  std::optional<LecteurTexte> fichier;
  std::string_view champ0;
  try {
    fichier.emplace(LecteurTexte::Ouvrir(app, ficequiv));
    std::string_view ligne;
    ChampsLigne tb;
    while (fichier->LireLigne(ligne)) {
      ++nbl_;
      DecouperChamps(ligne, ';', tb);
      champ0 = tb.empty() ? std::string_view() : tb[0];
      if (tb.size() < 2) {
        rangeeSansEquivalence(clserr, nbl_, champ0);
        continue;
      }
      if (tb[0].empty() || tb[1].empty()) {
        rangeeSansEquivalence(clserr, nbl_, champ0);
        resultat = 1;
        continue;
      }
      if (cv3.ExisteSignet(tb[1])) {
        SignetEquiv_V3 s;
        s.nom = SansBlancs(tb[0]);
        s.NomEquiv = SansBlancs(tb[1]);
        AjouterSignetEquivalence(std::move(s), tb[0], clserr);
      } else {
        std::string r = std::to_string(nbl_);
        r += ';';
        r += tb[0];
        r += ';';
        r += tb[1];
        r += "; n'est pas dans le catalogue des signets V3";
        clserr.ErreurChargement(r);
        resultat = 1;
      }
    }
  } catch (const std::exception& ex) {
    rangeeEchec(clserr, nbl_, champ0, DescriptionEchec(ex));
  }
  return resultat;
}

int Equivalence_V3::AjouterEquivalence(VariableEquiv_V3 vcou, std::string_view cle, ErreurTxt& clserr) {
  // Add moves the entry only when it stores it, so vcou is intact for the row.
  if (!VarEquiv.Add(std::move(vcou), cle))
    clserr.ErreurChargement(std::to_string(nbl_) + ";" + vcou.nom + ";" + vcou.NomEquiv + ";équivalence en doublon");
  return 0;
}

int Equivalence_V3::AjouterSignetEquivalence(SignetEquiv_V3 vcou, std::string_view cle, ErreurTxt& clserr) {
  if (!SigEquiv.Add(std::move(vcou), cle))
    clserr.ErreurChargement(std::to_string(nbl_) + ";" + vcou.nom + ";" + vcou.NomEquiv + ";équivalence en doublon");
  return 0;
}

}  // namespace kup
