#include "documents/AttacheFichier.h"

#include <cstdint>

#include "core/Core.h"
#include "core/VbError.h"

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

}  // namespace kup
