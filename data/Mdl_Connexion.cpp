// The logon commands: the database name, then Connexion with the user's
// name and password.
#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "data/ApOraSession.h"

namespace kup {

void KUP_ChaineSQL(App& app, Args& args) {
  try {
    app.G_ChaineSQL = CStr(Arg(args, 0));
    RenvoyerReponse(app, {"KUP_ChaineSQL", "", ""});
  } catch (const VbError& e) {
    TraiterErreur(app, "KUP_ChaineSQL", e.number(), e.description());
  }
}

void Connexion(App& app, Args& args, const OraBackendFactory& factory) {
  StrArray reply{"Connexion", "", ""};
  try {
    std::string user = StrOrEmpty(Arg(args, 0));
    std::string password = args.size() > 1 ? StrOrEmpty(args[1]) : std::string();
    // Without a name of its own the logon uses the single-sign-on credentials.
    if (user.empty() && !app.G_UtilisateurUnique.empty()) {
      user = app.G_UtilisateurUnique;
      password = app.G_MotDePasseUnique;
    }
    // A new logon ends the previous session whatever its outcome.
    app.G_OraSession.reset();
    std::unique_ptr<IOraBackend> backend = factory ? factory(app) : nullptr;
    if (!backend) {
      reply = {"Connexion", "-1", "Aucun accès à la base de données n'est disponible sur ce poste"};
    } else {
      auto session = std::make_shared<ApOraSession>(app, std::move(backend));
      session->logon(app.G_ChaineSQL, user, password);
      app.G_OraSession = session;
    }
  } catch (const VbError& e) {
    std::string message = e.description().empty() ? vbErrorText(e.number()) : e.description();
    if (message.empty()) message = "Erreur " + std::to_string(e.number());
    reply = {"Connexion", "-1", message};
  } catch (const std::exception& e) {
    reply = {"Connexion", "-1", e.what()};
  }
  try {
    RenvoyerReponse(app, reply);
  } catch (const VbError& e) {
    TraiterErreur(app, "Connexion", e.number(), e.description());
  }
}

void RegisterMdl_Connexion(CommandTable& table, OraBackendFactory factory) {
  table.add("Connexion", [factory](App& app, Args& args) { Connexion(app, args, factory); });
  table.add("KUP_ChaineSQL", KUP_ChaineSQL);
}

void RegisterMdl_Connexion(CommandTable& table) { RegisterMdl_Connexion(table, DefaultOraBackendFactory()); }

}  // namespace kup
