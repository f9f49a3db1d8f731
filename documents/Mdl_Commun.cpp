#include "documents/Mdl_Commun.h"

#include <cstdint>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/AttacheFichier.h"
#include "platform/PathText.h"

namespace kup {

namespace {

using FnFichierVersB64 = int32_t (*)(const char*, const char*, const char*, const char*);
using FnB64VersFichier = int32_t (*)(const char*, const char*, char*, int32_t);
using FnChaineVersFichier = int32_t (*)(const char*, const char*, int32_t);

constexpr int32_t kTailleNom = 1024;

// The decoders' results that name why a file could not be written: raised
// as the system's own errors, about the place the file was meant for.
void LeverCauseEcriture(int32_t resultat, const std::string& lieu) {
  constexpr int32_t kDisquePlein = 2, kRefusee = 3, kDossierAbsent = 4;
  const int32_t numero = resultat == kDisquePlein    ? vberr::DiskFull
                         : resultat == kRefusee      ? vberr::PermissionDenied
                         : resultat == kDossierAbsent ? vberr::PathNotFound
                                                     : 0;
  if (numero != 0) raise(numero, vbErrorText(numero) + " : " + lieu);
}

bool FinitParSeparateur(const std::string& s) {
  return !s.empty() && platform::IsPathSeparator(s.back());
}

bool NomSimple(const std::string& nom) {
  if (nom.empty() || nom == "." || nom == "..") return false;
  for (char c : nom)
    if (platform::IsPathSeparator(c)) return false;
  return true;
}

// Appends a record; the final Chr(242) is removed by Terminer.
void Ajouter(std::string& liste, const std::string& dossier, const std::string& nom) {
  liste += dossier;
  liste += Sep241();
  liste += nom;
  liste += Sep242();
}

void Terminer(std::string& liste) {
  if (!liste.empty()) liste.resize(liste.size() - Sep242().size());
}

void Signaler(App& app, const char* source, const VbError& e) {
  TraiterErreur(app, source, e.number(), e.description());
}

void Signaler(App& app, const char* source, const std::exception& e) {
  TraiterErreur(app, source, vberr::InternalError, e.what());
}

}  // namespace

StrArray sCommunListeModele(App& app, const std::string& dossierType, const std::string& prefixe,
                            const std::string& sousDossier, const std::string& /*inutilise*/,
                            const StrArray& extensions) {
  try {
    if (extensions.empty()) raise(vberr::SubscriptOutOfRange, vbErrorText(vberr::SubscriptOutOfRange));
    const bool testerExtension = !extensions[0].empty();

    std::string dossier = app.G_RepModele + "\\" + sousDossier + "\\" + dossierType + "\\";
    std::vector<std::string> fichiers = app.fs().listFiles(dossier);
    if (fichiers.empty()) {
      dossier = app.G_RepModele + "\\" + dossierType + "\\";
      fichiers = app.fs().listFiles(dossier);
    }

    const std::string prefixeMaj = UCase(prefixe) + "_";
    std::string liste;
    for (const auto& nom : fichiers) {
      const std::string nomMaj = UCase(nom);
      const bool prefixeOk = prefixe.empty() || nomMaj.rfind(prefixeMaj, 0) == 0 || nomMaj.rfind("AA_", 0) == 0;
      if (!testerExtension) {
        if (prefixeOk) Ajouter(liste, dossier, nom);
        continue;
      }
      // A name is tested against every extension: ending with two of them lists it twice.
      for (const auto& ext : extensions) {
        if (Right(nomMaj, static_cast<long>(Len(ext))) == UCase(ext) && prefixeOk) Ajouter(liste, dossier, nom);
      }
    }
    if (liste.empty())
      liste = dossier + Sep241();
    else
      Terminer(liste);
    return {liste};
  } catch (const VbError& e) {
    Signaler(app, "sCommunListeModele", e);
  } catch (const std::exception& e) {
    Signaler(app, "sCommunListeModele", e);
  }
  return {};
}

StrArray sCommunListeFichier(App& app, const std::string& dossierDonne, const std::string& filtre) {
  try {
    std::string dossier = dossierDonne;
    if (!FinitParSeparateur(dossier)) dossier += "\\";
    const std::string filtreMaj = UCase(filtre);
    std::string liste;
    for (const auto& nom : app.fs().listFiles(dossier)) {
      if (filtre.empty() || InStr(UCase(nom), filtreMaj) > 1) Ajouter(liste, dossier, nom);
    }
    Terminer(liste);
    return {liste};
  } catch (const VbError& e) {
    Signaler(app, "sCommunListeFichier", e);
  } catch (const std::exception& e) {
    Signaler(app, "sCommunListeFichier", e);
  }
  return {};
}

std::string sCommunFichierVersB64(App& app, const std::string& chemin) {
  try {
    const size_t coupe = chemin.find_last_of("\\/");
    if (coupe == std::string::npos)
      raise(vberr::SubscriptOutOfRange, vbErrorText(vberr::SubscriptOutOfRange));
    const std::string dossier = chemin.substr(0, coupe);
    const std::string nom = chemin.substr(coupe + 1);
    const std::string temp = app.env().tempFolder();
    const std::string sortie = sFichierTemporaire(app, ".b64", true);

    auto encode = reinterpret_cast<FnFichierVersB64>(EntreeAttacheFichier(app, "FichierVersBase64Compressee"));
    encode(OctetsDepuisChaine(dossier).c_str(), OctetsDepuisChaine(nom).c_str(), OctetsDepuisChaine(temp).c_str(),
           OctetsDepuisChaine(sortie).c_str());

    // A missing output file reads as an empty text, as opening it would
    // have created it empty.
    std::string texte = app.fs().fileExists(sortie) ? FromCp1252(app.fs().readFile(sortie)) : std::string();

    for (const auto& p : {sortie, sJoindreChemin(temp, nom + ".zip")}) {
      try {
        if (app.fs().fileExists(p)) app.fs().removeFile(p);
      } catch (...) {
      }
    }
    return texte;
  } catch (const VbError& e) {
    Signaler(app, "sCommunFichierVersB64", e);
  } catch (const std::exception& e) {
    Signaler(app, "sCommunFichierVersB64", e);
  }
  return {};
}

std::string sCommunB64VersFichier(App& app, const std::string& texteB64) {
  try {
    const std::string temp = app.env().tempFolder();
    auto decode = reinterpret_cast<FnB64VersFichier>(EntreeAttacheFichier(app, "Base64CompresseeVersFichier"));
    std::string tampon(kTailleNom + 1, '\0');
    LeverCauseEcriture(
        decode(OctetsDepuisChaine(texteB64).c_str(), OctetsDepuisChaine(temp).c_str(), tampon.data(), kTailleNom),
        temp);
    return temp + "\\" + sOctetsVersChaine(tampon);
  } catch (const VbError& e) {
    Signaler(app, "sCommunB64VersFichier", e);
  } catch (const std::exception& e) {
    Signaler(app, "sCommunB64VersFichier", e);
  }
  return {};
}

std::string sCommunB64VersFichier2(App& app, const std::string& nomFichier, const std::string& dossier,
                                   const std::string& texteB64) {
  // Every failure here leaves the file unwritten. Reporting it here and
  // handing back a path (or an empty one) would let the caller answer as if
  // the file were in place: the error goes to the caller, which reports it
  // under its own name and gives no answer.
  // The name comes from outside: it must not lead out of the folder.
  if (!NomSimple(nomFichier)) raise(vberr::BadFileName, vbErrorText(vberr::BadFileName));
  const std::string cible = dossier + "\\" + nomFichier;
  auto ecrire = reinterpret_cast<FnChaineVersFichier>(EntreeAttacheFichier(app, "chaineBase64VersFichier"));
  constexpr int32_t kEcrit = 1;
  const int32_t r = ecrire(OctetsDepuisChaine(texteB64).c_str(), OctetsDepuisChaine(cible).c_str(), kTailleNom);
  LeverCauseEcriture(r, cible);
  if (r != kEcrit) raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess) + " : " + cible);
  return cible;
}

}  // namespace kup
