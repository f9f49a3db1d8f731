// The settings store, its reader and the commands that feed it.
#include "core/Core.h"
#include "core/SsoKeys.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

namespace {
constexpr size_t kChampSection = 4, kChampCle = 5, kChampValeur = 8;
}

size_t RemplirApParametre(App& app, const std::string& parametres) {
  app.G_Parametres.clear();
  size_t ignores = 0;
  for (auto& record : Split(parametres, Sep241())) {
    auto fields = Split(record, Sep240());
    if (fields.size() <= kChampValeur) {
      // A record without a value field: the original stopped the whole
      // load here; keeping the other settings is what the user needs.
      if (!record.empty()) ++ignores;
      continue;
    }
    const std::string& section = fields[kChampSection];
    const std::string& key = fields[kChampCle];
    if (app.G_Parametres.has(section, key)) {
      EcrireLog(app, "core", "KUP_Parametres : paramètre en double ignoré : " + section + "/" + key);
      continue;
    }
    app.G_Parametres.set(section, key, fields[kChampValeur]);
  }
  if (ignores)
    EcrireLog(app, "core", "KUP_Parametres : " + std::to_string(ignores) + " enregistrement(s) incomplet(s) ignoré(s)");
  return ignores;
}

void Gen_LireParametreKUP(App& app, const std::string& section, const std::string& key, std::string& result,
                          const std::string& defaut) {
  std::string v = app.G_Parametres.get(section, key);
  result = v.empty() ? defaut : v;
}

std::string Gen_LireParametreKUP(App& app, const std::string& section, const std::string& key,
                                 const std::string& defaut) {
  std::string r;
  Gen_LireParametreKUP(app, section, key, r, defaut);
  return r;
}

bool Gen_UniformiserValeur(const std::string& text) {
  std::string u = UCase(text);
  return u == "1" || u == "VRAI" || u == "TRUE" || u == "OUI";
}

void Gen_LireParametres(App& app) {
  app.G_RepModele = Gen_LireParametreKUP(app, "EDITION", "REP_MODELE");
  app.G_RepFicReglement = Gen_LireParametreKUP(app, "EDITION", "REP_FICREGLEMENT");
  app.G_TypeFusionArrete = Gen_LireParametreKUP(app, "EDITION", "TYPE_FUSION_ARRETE", "0");
  app.G_RepCourrierAttente = Gen_LireParametreKUP(app, "EDITION", "REP_COURRIERATTENTE");
  app.G_ModeDDE = Gen_LireParametreKUP(app, "DDE", "MODE");
  app.G_FicDDE = Gen_LireParametreKUP(app, "DDE", "FicDDE");

  app.G_RepStockage = Split(Gen_LireParametreKUP(app, "ATTACHE_FICHIER", "REP_STOCKAGE"), ";");
  app.G_TailleMax = Gen_LireParametreKUP(app, "ATTACHE_FICHIER", "TAILLE_MAX");
  app.G_Compression = Gen_UniformiserValeur(Gen_LireParametreKUP(app, "ATTACHE_FICHIER", "COMPRESSION"));
  app.G_Cryptage = Gen_UniformiserValeur(Gen_LireParametreKUP(app, "ATTACHE_FICHIER", "CRYPTAGE"));
  app.G_AttacheActif = Gen_UniformiserValeur(Gen_LireParametreKUP(app, "ATTACHE_FICHIER", "ACTIF"));
  app.G_CodeInstructeur = Gen_UniformiserValeur(Gen_LireParametreKUP(app, "ATTACHE_FICHIER", "CODE_INSTRUCTEUR"));

  // The editor type chooses the office suite of both drivers; a text that
  // is no number leaves it unknown (0), which the drivers report.
  double type = Val(Gen_LireParametreKUP(app, "EDITION", "TYPE_EDITEUR", "0"));
  app.G_TypeEditeur = (type >= -2147483648.0 && type <= 2147483647.0) ? static_cast<int>(RoundHalfEven(type)) : 0;
  if (app.hooks.setEditorType) app.hooks.setEditorType(app, app.G_TypeEditeur);

  if (app.G_AttacheActif) Gen_InitFichierAttache(app);
}

void Gen_InitFichierAttache(App& app) {
  try {
    if (!app.pf.env) raise(vberr::ObjectVariableNotSet);
    auto& env = app.env();
    std::string folder = env.programFolder();
    std::string path = env.get("PATH");
    // The host's search path list separator.
    const std::string sep = ":";
    if (path != folder && path.rfind(folder + sep, 0) != 0)
      env.set("PATH", path.empty() ? folder : folder + sep + path);
    env.setCurrentFolder(folder);
    if (app.hooks.loadProcInDLL) app.hooks.loadProcInDLL(app, "AttacheFichier.dll", "SorviDLL");
    if (!app.pf.libraries) raise(vberr::DllLoadError, "Erreur de chargement de la DLL : AttacheFichier.dll");
    void* p = pEntreeAttacheFichier(app, "SorviDLL");
    if (!p) {
      if (app.hAttacheFichier < 0) raise(vberr::DllLoadError, "Erreur de chargement de la DLL : AttacheFichier.dll");
      raise(vberr::DllEntryNotFound, "Point d'entrée de DLL SorviDLL introuvable dans AttacheFichier.dll");
    }
    reinterpret_cast<int32_t (*)()>(p)();
  } catch (const VbError& e) {
    TraiterErreur(app, "Gen_InitFichierAttache", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "Gen_InitFichierAttache", vberr::InternalError, e.what());
  }
}

void KUP_Parametres(App& app, Args& args) {
  try {
    RemplirApParametre(app, CStr(Arg(args, 0)));
    Gen_LireParametres(app);
    const std::string& mode = app.G_ModeDDE;
    if (mode == "1" || mode == "4") {
      if (app.hooks.SIG_Initialiser) app.hooks.SIG_Initialiser(app);
    } else if (mode == "2") {
      if (app.hooks.DDE_Initialiser) app.hooks.DDE_Initialiser(app);
    }
  } catch (const VbError& e) {
    TraiterErreur(app, "KUP_Parametres", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "KUP_Parametres", vberr::InternalError, e.what());
  }
}

void KUP_UtilisateurUnique(App& app, Args& args) {
  std::string user = CStr(Arg(args, 0));
  std::string password = CStr(Arg(args, 1));
  if (!app.hooks.sDecrypterChaineSSO) {
    EcrireLog(app, "core", "KUP_UtilisateurUnique : déchiffrement indisponible, identifiants ignorés");
    return;
  }
  app.G_UtilisateurUnique = app.hooks.sDecrypterChaineSSO(app, user, kCleSSO1);
  app.G_MotDePasseUnique = app.hooks.sDecrypterChaineSSO(app, password, kCleSSO2);
}

void unload(App& app, Args& args) {
  try {
    if (app.hooks.unload) app.hooks.unload(app);
  } catch (const VbError& e) {
    TraiterErreur(app, "unload", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "unload", vberr::InternalError, e.what());
  }
  // Dropping the last references releases the session and the drivers.
  app.G_OraSession.reset();
  app.G_Courrier.reset();
  app.G_Tableur.reset();
  app.quitRequested = true;
}

}  // namespace kup
