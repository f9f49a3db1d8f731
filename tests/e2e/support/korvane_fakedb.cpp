// korvane_fakedb: korvane whose Connexion logs on to a scripted database, for
// the end-to-end tests that choose the server's answers (the shipped program
// logs on to PostgreSQL).
//
// KUP_FAKEDB_SCRIPT names a UTF-8 text file, one line per out value or failure:
//
//   # a comment
//   PK_RAP_HTML.FUSIONNERHTML -> fic_res = <html>${LIST_IDENT} ${fic_html}</html>
//   PK_AUTRE -> ! 20001 ORA-20001: refusé
//
// "${name}" in a value is the text bound to that parameter for the call (a
// CLOB's content, "" for a null). A procedure the script does not name
// fails as an undeclared identifier would. Any user is accepted.
//
// KUP_FAKEDB_OPENER, when set, is the program that "open" hands documents to
// (instead of xdg-open), so a test can see what was shown without a browser.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/App.h"
#include "vb/VbString.h"
#include "data/ApOraSession.h"
#include "data/FakeOraBackend.h"
#include "host/Run.h"
#include "platform/RealShell.h"

namespace {

struct Sortie {
  std::string parametre, valeur;
};

struct Procedure {
  std::vector<Sortie> sorties;
  bool echec = false;
  int32_t code = 0;
  std::string message;
};

std::string Rogner(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// The value with each "${name}" replaced by the parameter's bound text.
std::string Remplir(const std::string& modele, kup::FakeOraCall& appel) {
  std::string out;
  for (size_t i = 0; i < modele.size();) {
    size_t debut = modele.find("${", i);
    size_t fin = debut == std::string::npos ? std::string::npos : modele.find('}', debut + 2);
    if (fin == std::string::npos) {
      out += modele.substr(i);
      break;
    }
    out += modele.substr(i, debut - i);
    kup::Value v = appel.in(modele.substr(debut + 2, fin - debut - 2));
    if (!v.isNull()) out += kup::CStr(v);
    i = fin + 1;
  }
  return out;
}

// Reads the script into the database; false (with the reason) when it cannot.
bool LireScript(const std::string& chemin, kup::FakeOraDatabase& db, std::string& erreur) {
  std::ifstream in(chemin, std::ios::binary);
  if (!in) {
    erreur = chemin + ": cannot be read";
    return false;
  }
  std::vector<std::pair<std::string, Procedure>> procedures;
  std::string ligne;
  for (int numero = 1; std::getline(in, ligne); ++numero) {
    std::string l = Rogner(ligne);
    if (l.empty() || l[0] == '#') continue;
    size_t fleche = l.find("->");
    if (fleche == std::string::npos) {
      erreur = chemin + ":" + std::to_string(numero) + ": expected \"PROCEDURE -> parameter = value\"";
      return false;
    }
    std::string nom = Rogner(l.substr(0, fleche)), reste = Rogner(l.substr(fleche + 2));
    Procedure* p = nullptr;
    for (auto& [n, proc] : procedures)
      if (kup::EqualsNoCase(n, nom)) p = &proc;
    if (!p) p = &procedures.emplace_back(nom, Procedure{}).second;

    if (!reste.empty() && reste[0] == '!') {
      std::string r = Rogner(reste.substr(1));
      size_t blanc = r.find(' ');
      try {
        p->code = std::stoi(r.substr(0, blanc));
      } catch (...) {
        erreur = chemin + ":" + std::to_string(numero) + ": a failure needs a number";
        return false;
      }
      p->echec = true;
      p->message = blanc == std::string::npos ? std::string() : Rogner(r.substr(blanc));
      continue;
    }
    size_t egal = reste.find('=');
    if (nom.empty() || egal == std::string::npos || Rogner(reste.substr(0, egal)).empty()) {
      erreur = chemin + ":" + std::to_string(numero) + ": expected \"PROCEDURE -> parameter = value\"";
      return false;
    }
    // One blank after "=" belongs to the syntax; the rest of the line is the value.
    std::string valeur = reste.substr(egal + 1);
    if (!valeur.empty() && valeur[0] == ' ') valeur.erase(0, 1);
    p->sorties.push_back({Rogner(reste.substr(0, egal)), valeur});
  }
  for (auto& [nom, proc] : procedures) {
    db.addProcedure(nom, [proc = proc](kup::FakeOraCall& appel) {
      if (proc.echec) appel.fail(proc.code, proc.message);
      for (const auto& s : proc.sorties) appel.out(s.parametre, kup::Value(Remplir(s.valeur, appel)));
    });
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  auto db = std::make_shared<kup::FakeOraDatabase>();
  const char* script = std::getenv("KUP_FAKEDB_SCRIPT");
  std::string erreur;
  if (script && *script && !LireScript(script, *db, erreur)) {
    std::fprintf(stderr, "korvane_fakedb: %s\n", erreur.c_str());
    return 3;
  }
  const char* ouvreur = std::getenv("KUP_FAKEDB_OPENER");
  std::string outil = ouvreur ? ouvreur : "";

  return kup::host::RunKorvane(argc, argv, [db, outil](kup::App& app) {
    kup::RegisterMdl_Connexion(*app.commands, kup::FakeOraFactory(db));
    if (!outil.empty())
      if (auto* shell = dynamic_cast<kup::platform::RealShell*>(app.pf.shell.get())) shell->openTool = outil;
  });
}
