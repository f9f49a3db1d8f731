// The catalogue and equivalence files of the program folder, in any state:
// the start-up load never fails nor shows anything, keeps its error rows
// consistent, and everything it stores reads as valid UTF-8 and can be
// looked up by its name in any case. The line reader agrees with a plain
// reading of the same bytes.
//
// Input: the four files separated by NUL bytes (variables, bookmarks,
// variable equivalences, bookmark equivalences), then names to look up.

// fuzz-lien: kup_documents
#include <vector>

#include "FuzzOutils.h"
#include "core/App.h"
#include "documents/Catal_V3.h"
#include "documents/Equivalence_V3.h"
#include "documents/ErreurTxt.h"
#include "documents/LecteurTexte.h"
#include "documents/Mdl_Equivalence.h"
#include "platform/RealFlash.h"

using namespace kup;

namespace {

// Lines as Line Input gives them: CR LF, CR or LF end a line.
std::vector<std::string> LignesReference(const std::string& octets) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < octets.size()) {
    size_t fin = octets.find_first_of("\r\n", pos);
    if (fin == std::string::npos) fin = octets.size();
    out.push_back(FromCp1252(octets.substr(pos, fin - pos)));
    pos = fin;
    if (pos < octets.size()) pos += (octets[pos] == '\r' && pos + 1 < octets.size() && octets[pos + 1] == '\n') ? 2 : 1;
  }
  return out;
}

void VerifierLecteur(const std::string& octets) {
  LecteurTexte l(octets);
  size_t lf = 0;
  for (char c : octets) lf += c == '\n';
  KUP_FUZZ_VERIFIER(l.LignesEstimees() == lf, octets);
  std::vector<std::string> lues;
  std::string_view ligne;
  while (l.LireLigne(ligne)) {
    KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(ligne), ligne);
    lues.emplace_back(ligne);
    KUP_FUZZ_VERIFIER(lues.size() <= octets.size(), octets);
  }
  KUP_FUZZ_VERIFIER(l.FinDeFichier(), octets);
  KUP_FUZZ_VERIFIER(lues == LignesReference(octets), octets);
}

void VerifierErreurs(const ErreurTxt& e) {
  KUP_FUZZ_VERIFIER(e.ErrCode() == (e.NbErr() > 0 ? 1 : 0), e.ErrLib());
  KUP_FUZZ_VERIFIER(static_cast<long>(e.Lignes().size()) == e.NbErr(), e.ErrLib());
  KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(e.ErrLib()), e.ErrLib());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parties(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && parties.size() < 5) parties.emplace_back();
    else parties.back() += static_cast<char>(data[i]);
  }
  parties.resize(5);

  TestApp t;
  static const char* kFichiers[] = {"Var_Catalogue_V3.csv", "SIG_Catalogue_V3.csv", "Var_Equiv_V2_V3.csv",
                                    "SIG_Equiv_V2_V3.csv"};
  for (int k = 0; k < 4; ++k) {
    VerifierLecteur(parties[k]);
    if (!(k == 1 && parties[k] == "-")) t.fs.put(std::string("C:\\Korvane\\") + kFichiers[k], parties[k]);
  }

  // Twice: a second load into the same objects (the objects stay, the rows
  // go on in the catalogue's collector).
  for (int tour = 0; tour < 2; ++tour) {
    sub_ChargerEquivalences(t.app);
    KUP_FUZZ_VERIFIER(t.msgbox.boxes.empty(), t.msgbox.boxes.front().prompt);
    VerifierErreurs(*t.app.G_ErrCatalogue);
    VerifierErreurs(*t.app.G_ErrEquivalence);
    const Catal_V3& cat = *t.app.G_Catalogue;
    for (size_t i = 0; i < cat.CatV3.Count(); ++i) {
      const auto& v = cat.CatV3.At(i);
      KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(v.nom) && bridge::IsValidUtf8(v.Libelle) && bridge::IsValidUtf8(v.Fmt),
                        v.nom);
      KUP_FUZZ_VERIFIER(v.TypeFmt >= 0 && v.TypeFmt <= 4, v.nom);
      KUP_FUZZ_VERIFIER(cat.Existe(LCase(v.nom)) == cat.Existe(v.nom), v.nom);
    }
    for (size_t i = 0; i < cat.SIGV3.Count(); ++i) KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(cat.SIGV3.At(i).nom), "");
    const Equivalence_V3& eq = *t.app.G_Equivalence;
    for (size_t i = 0; i < eq.VarEquiv.Count(); ++i) {
      const auto& e = eq.VarEquiv.At(i);
      KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(e.nom) && bridge::IsValidUtf8(e.NomEquiv), e.nom);
      std::string nom = e.nom;
      std::string cle = sNomVariableV3(nom, e.Code, &eq);
      for (auto& n : vNomsEquivalence(cle, &eq)) sFormatEquivalence(n, &cat);
      sModeEquivalence(cle, &eq);
    }
  }

  // Lookups of whatever the interface may name.
  const std::string noms = FromCp1252(parties[4]);
  for (auto& n : Split(noms, ";")) {
    std::string nom = n;
    std::string cle = sNomVariableV3(nom, "PC", t.app.G_Equivalence.get());
    vNomsEquivalence(cle.empty() ? n : cle, t.app.G_Equivalence.get());
    sModeEquivalence(n, t.app.G_Equivalence.get());
    sFormatEquivalence(n, t.app.G_Catalogue.get());
  }
  return 0;
}
