#include "documents/AttacheFichier.h"

#include <cstdint>
#include <exception>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/Mdl_DocCommun.h"

namespace kup {

namespace {

constexpr const char* kBibliotheque = "AttacheFichier.dll";

}  // namespace

long loadProcInDLL(App& app, const std::string& fichier, const std::string& entree) {
  try {
    if (!app.pf.libraries || !app.pf.env) raise(vberr::ObjectVariableNotSet);
    auto& libs = *app.pf.libraries;
    long h = libs.load(sJoindreChemin(app.env().programFolder(), fichier));
    if (h == 0) h = libs.load(fichier);
    if (h != 0) libs.symbol(h, entree);  // looked up as the start-up expects; the address is not kept
    return h;
  } catch (const VbError& e) {
    TraiterErreur(app, "loadProcInDLL", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "loadProcInDLL", vberr::InternalError, e.what());
  }
  return 0;
}

void* EntreeAttacheFichier(App& app, const std::string& entree) {
  void* p = pEntreeAttacheFichier(app, entree);
  if (p) return p;
  if (app.hAttacheFichier <= 0)
    raise(vberr::DllLoadError, vbErrorText(vberr::DllLoadError) + " : " + kBibliotheque);
  raise(vberr::DllEntryNotFound, "Point d'entrée de DLL " + entree + " introuvable dans " + kBibliotheque);
}

std::string sDecrypterChaineSSO(App& app, const std::string& texteB64, const std::string& cle) {
  using Fn = int32_t (*)(const char*, const char*, char*, int32_t);
  auto decrypte = reinterpret_cast<Fn>(EntreeAttacheFichier(app, "decrypteChaineBase64"));
  const std::string texte = OctetsDepuisChaine(texteB64);
  const std::string octetsCle = OctetsDepuisChaine(cle);
  std::string tampon(1025, '\0');
  decrypte(texte.c_str(), octetsCle.c_str(), tampon.data(), 1024);
  return sOctetsVersChaine(tampon);
}

void InstallAttacheFichierHooks(App& app) {
  app.hooks.loadProcInDLL = &loadProcInDLL;
  app.hooks.sDecrypterChaineSSO = &sDecrypterChaineSSO;
}

// ---------------------------------------------------------------- envelope

namespace {

using FnEnveloppe = int32_t (*)(const char*, int32_t);

// The text as one argument of a command line (quotes around it, a quote or
// the backslashes before one escaped by backslashes): the program started
// receives it exactly, blanks in a row and double quotes included.
std::string ArgumentUnique(const std::string& texte) {
  std::string out = "\"";
  for (size_t i = 0;; ++i) {
    size_t barres = 0;
    while (i < texte.size() && texte[i] == '\\') ++barres, ++i;
    if (i == texte.size()) {
      out.append(2 * barres, '\\');
      break;
    }
    if (texte[i] == '"') {
      out.append(2 * barres + 1, '\\');
    } else {
      out.append(barres, '\\');
    }
    out += texte[i];
  }
  return out + "\"";
}

void RaccourcirIdentifiant(App& app, std::string& identifiant) {
  if (identifiant.empty() || app.G_CodeInstructeur) return;
  const StrArray mots = Split(identifiant, " ");
  if (mots.size() >= 4 && Len(mots[3]) == 5) identifiant = Replace(identifiant, mots[3], Right(mots[3], 4));
}

}  // namespace

std::string MotHabilitation(const std::string& habilitation) {
  if (habilitation == "0") return "Rien";
  if (habilitation == "1") return "Lecture";
  return "Ecriture";
}

std::string sXMLAttacheFichier(App& app, std::string& identifiant, const std::string& habilitation) {
  RaccourcirIdentifiant(app, identifiant);
  const std::string id = EchapperXml(identifiant);
  std::string xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"no\" ?>";
  xml += "<AttacheFichier><Application><NomAppli>KORVANE</NomAppli></Application>";
  xml += "<Identifiant>" + id + "</Identifiant>";
  xml += "<Habilitation>" + MotHabilitation(habilitation) + "</Habilitation>";
  for (auto& dossier : app.G_RepStockage) {
    if (dossier.empty() || dossier.back() != '\\') dossier += "\\";
    xml += "<Repertoire>" + EchapperXml(dossier) + "</Repertoire>";
  }
  xml += "<Compression Niveau=\"1\" Password=\"" + id + "\">" + (app.G_Compression ? "oui" : "non") + "</Compression>";
  xml += "<Cryptage Type=\"1\" Password=\"" + id + "\">" + (app.G_Cryptage ? "oui" : "non") + "</Cryptage>";
  xml += "<Taille>" + EchapperXml(app.G_TailleMax) + "</Taille></AttacheFichier>";
  return xml;
}

int32_t lAttFicCompter(App& app, const std::string& enveloppe) {
  auto compter = reinterpret_cast<FnEnveloppe>(EntreeAttacheFichier(app, "Count"));
  return compter(OctetsDepuisChaine(enveloppe).c_str(), 0);
}

int32_t lLancerAttacheLigneCommande(App& app, std::string& enveloppe, std::string& v1, std::string& v2,
                                    std::string& v3, std::string& v4, std::string& v5) {
  enveloppe = Replace(Replace(Replace(enveloppe, ",", ";"), "\n", ""), "\r", "");
  for (std::string* v : {&v1, &v2, &v3, &v4, &v5}) *v = Replace(*v, ",", ";");

  if (!app.pf.env || !app.pf.shell) raise(vberr::ObjectVariableNotSet);
  const std::string dossier = app.env().programFolder();
  const std::string programme = sJoindreChemin(dossier, kAttacheLigneCommande);
  // The shell also finds the program under its name without ".exe".
  const std::string sansExtension = programme.substr(0, programme.size() - 4);
  while (!app.fs().fileExists(programme) && !app.fs().fileExists(sansExtension)) {
    if (!app.pf.msgbox) return -1;
    const int reponse = app.pf.msgbox->show(
        std::string("Impossible de trouver ") + kAttacheLigneCommande + " dans " + dossier,
        platform::mb::RetryCancel, "Attachement impossible");
    if (reponse != platform::mb::Retry) return -1;
  }

  const std::string parametres = v1 + "," + v2 + "," + v3 + "," + v4 + "," + v5 + "," + enveloppe;
  constexpr int kSwShowNormal = 1;
  const long r = app.pf.shell->execute(app.KUP_MDI.hWnd, "open", programme, ArgumentUnique(parametres), dossier,
                                       kSwShowNormal);
  return static_cast<int32_t>(r);
}

// ---------------------------------------------------------------- commands

void KUP_AttFicCompter(App& app, std::string identifiant, const std::string& habilitation) {
  Pieger(app, "KUP_AttFicCompter", [&] {
    if (!app.G_AttacheActif) return;
    const std::string enveloppe = sXMLAttacheFichier(app, identifiant, habilitation);
    // The count travels as a 16-bit number; the library's "cannot tell" is answered as none.
    int16_t nombre = CInt(Value(static_cast<double>(lAttFicCompter(app, enveloppe))));
    if (nombre == -1) nombre = 0;
    RenvoyerReponse(app, {"KUP_AttFicCompter", identifiant, habilitation, std::to_string(nombre), "", ""});
  });
}

void KUP_AttFicAfficher(App& app, std::string identifiant, const std::string& habilitation) {
  Pieger(app, "KUP_AttFicAfficher", [&] {
    if (!app.G_AttacheActif) return;
    const std::string enveloppe = sXMLAttacheFichier(app, identifiant, habilitation);
    try {
      auto afficher = reinterpret_cast<FnEnveloppe>(EntreeAttacheFichier(app, "Attachement"));
      afficher(OctetsDepuisChaine(enveloppe).c_str(), 0);
    } catch (...) {
      // The window could not be shown: the count below still tells the player where things stand.
    }
    const int32_t nombre = lAttFicCompter(app, enveloppe);
    KUP_EnvoyerChaineVersFlex(
        app, sInvokeXML("KUP_AttFicMasquer", {identifiant, habilitation, std::to_string(nombre), "", ""}));
  });
}

void KUP_AttFicAttacher(App& app, const std::string& identifiant, const std::string& habilitation,
                        const std::string& chemin, const Value& valeur4, const Value& valeur5, const Value& valeur6) {
  static const char* kSource = "KUP_AttFicAttacher";
  Pieger(app, kSource, [&] {
    StrArray reponse{identifiant, habilitation, "", "", ""};
    if (!app.fs().fileExists(chemin)) {
      TraiterErreur(app, kSource, 0, "Le fichier\r\n" + chemin + "\r\n n'existe pas.");
    } else if (CDbl(Value(habilitation)) < 2) {
      TraiterErreur(app, kSource, 0, "Habilitations insuffisantes, veuillez contacter votre administrateur.");
    } else if (app.G_AttacheActif) {
      std::string id = identifiant;
      std::string enveloppe = sXMLAttacheFichier(app, id, habilitation);
      try {
        std::string fichier = chemin;
        std::string v4 = CStr(valeur4), v5 = CStr(valeur5), v6 = CStr(valeur6);
        reponse[2] = std::to_string(lLancerAttacheLigneCommande(app, enveloppe, id, fichier, v4, v5, v6));
      } catch (...) {
        // The program's start is not part of the answer's guarantees: slot 2 stays empty.
      }
    }
    RenvoyerReponse(app, reponse);
  });
}

void RegisterAttacheFichier(CommandTable& table) {
  // The identifier decides: an empty one (or Null) gets no answer at all.
  auto identifiantDonne = [](const Args& a) { return !StrOrEmpty(Arg(a, 0)).empty(); };
  table.add("KUP_AttFicCompter", [identifiantDonne](App& app, Args& a) {
    if (identifiantDonne(a)) KUP_AttFicCompter(app, CStr(Arg(a, 0)), CStr(Arg(a, 1)));
  });
  table.addDeferred("KUP_AttFicAfficher", 500, [identifiantDonne](App& app, Args& a) {
    if (identifiantDonne(a)) KUP_AttFicAfficher(app, CStr(Arg(a, 0)), CStr(Arg(a, 1)));
  });
  table.add("KUP_AttFicAttacher", [identifiantDonne](App& app, Args& a) {
    if (identifiantDonne(a))
      KUP_AttFicAttacher(app, CStr(Arg(a, 0)), CStr(Arg(a, 1)), CStr(Arg(a, 2)), Arg(a, 3), Arg(a, 4), Arg(a, 5));
  });
}

}  // namespace kup
