#include "documents/Mdl_Html.h"

#include <algorithm>
#include <exception>
#include <set>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "data/ApOraSession.h"
#include "documents/DocumentState.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_DocCommun.h"
#include "documents/Mdl_Fichier.h"

namespace kup {

namespace {

const char* const kProcedure = "PK_RAP_HTML.FUSIONNERHTML";

StrArray ExtensionsHtml() { return Split(".html;.htm", ";"); }

// The failure reply of the HTML commands: name, "", number, description.
void RepondreEchec(App& app, const std::string& name, int32_t number, const std::string& description) {
  try {
    RenvoyerReponse(app, {name, "", std::to_string(number), description});
  } catch (...) {
  }
}

template <class F>
void AvecReponseEchec(App& app, const std::string& name, F&& f) {
  try {
    f();
  } catch (const VbError& e) {
    RepondreEchec(app, name, e.number(), e.description());
  } catch (const std::exception& e) {
    RepondreEchec(app, name, vberr::PathFileAccess, e.what());
  }
}

// The name sEcrireHtmlTemp gives a page: a whole number from 1 to 1000001
// as written by the number's text, then ".html".
bool EstNomDePage(const std::string& nom) {
  const size_t point = nom.size() - std::min<size_t>(nom.size(), 5);
  if (point == 0 || point > 7 || nom.compare(point, std::string::npos, ".html") != 0 || nom[0] == '0') return false;
  for (size_t i = 0; i < point; ++i)
    if (nom[i] < '0' || nom[i] > '9') return false;
  return std::stol(nom.substr(0, point)) <= 1000001;
}

// The template's lines joined without their line breaks.
std::string sLireModeleHtml(App& app, const std::string& path) {
  std::string texte = FromCp1252(app.fs().readFile(path));
  std::string joint;
  joint.reserve(texte.size());
  for (char c : texte)
    if (c != '\r' && c != '\n') joint += c;
  return joint;
}

}  // namespace

void KUP_RapportHtmlLister(App& app, Args& args) {
  AvecReponseEchec(app, "KUP_RapportHtmlLister", [&] {
    StrArray liste = sCommunListeModele(app, "RapportHTML", "", "", "", ExtensionsHtml());
    RepondreListe(app, "KUP_RapportHtmlLister", liste);
  });
}

void KUP_FicheHtmlLister(App& app, Args& args) {
  AvecReponseEchec(app, "KUP_FicheHtmlLister", [&] {
    CStr(Arg(args, 0));
    std::string prefixe = CStr(Arg(args, 1));
    std::string sousDossier = CStr(Arg(args, 2));
    std::string quatrieme = CStr(Arg(args, 3));
    StrArray liste = sCommunListeModele(app, "FicheHTML", prefixe, sousDossier, quatrieme, ExtensionsHtml());
    RepondreListe(app, "KUP_FicheHtmlLister", liste);
  });
}

std::string sEcrireHtmlTemp(App& app, const std::string& text) {
  // A new page under a new name: another window may still show an earlier one.
  std::string path = sCreerFichierTemporaire(app, ".html", ToCp1252(text) + "\r\n", true);
  Docs(app).pagesHtmlTemp.insert(path);
  auto pos = path.find_last_of("\\/");
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

void sub_FusionnerHtml(App& app, const std::string& replyName, Args& args, int16_t mode) {
  if (args.empty() || StrOrEmpty(args[0]).empty()) return;
  AvecReponseEchec(app, replyName, [&] {
    std::string modele = sLireModeleHtml(app, CStr(args[0]));
    std::string identifiants = CStr(Arg(args, 1));

    auto session = app.G_OraSession;
    if (!session) {
      RenvoyerReponse(app, {replyName, "", modele, "", ""});
      return;
    }

    bool reconnexion = session->bInitParameters(kProcedure);
    session->bAddParameters("fic_html", 3, 112, Value(modele), reconnexion);
    session->bAddParameters("LIST_IDENT", 1, 9, Value(identifiants), reconnexion);
    session->bAddParameters("fic_res", 3, 112, Value(" "), reconnexion);
    session->bAddParameters("coderr", 2, 9, Value::null(), reconnexion);
    session->bAddParameters("liberr", 2, 9, Value::null(), reconnexion);
    // A database failure has been reported by the session; nothing to answer.
    if (!session->bExecuteSQL(kProcedure)) return;

    std::string page = CStr(session->vParameterValue("fic_res"));
    std::string chemin = sJoindreChemin(app.env().tempFolder(), sEcrireHtmlTemp(app, page));
    RenvoyerReponse(app, {replyName, chemin, "", ""});
    FichierOuvrir(app, chemin, mode);
  });
}

void KUP_FicheHtmlOuvrir(App& app, Args& args) { sub_FusionnerHtml(app, "KUP_FicheHtmlOuvrir", args, 1); }

void KUP_Courrier_Edite(App& app, Args& args) { sub_FusionnerHtml(app, "KUP_Courrier_Edite", args, 1); }

void KUP_RapportHtmlNettoyer(App& app, Args& args) {
  // Every page of ours, an earlier session's too: each holds a dossier list
  // and the user's name. The temporary folder is shared, so a file goes
  // only when it has our pages' name and is a file of this user, never
  // what a link leads to.
  auto& pages = Docs(app).pagesHtmlTemp;
  std::set<std::string> aSupprimer(pages.begin(), pages.end());
  try {
    const std::string temp = app.env().tempFolder();
    for (const auto& nom : app.fs().listFiles(temp))
      if (EstNomDePage(nom)) aSupprimer.insert(sJoindreChemin(temp, nom));
  } catch (...) {
  }
  for (const auto& page : aSupprimer) {
    try {
      if (app.fs().isOwnFile(page)) app.fs().removeFile(page);
      pages.erase(page);
    } catch (...) {
    }
  }
}

void RegisterMdl_Html(CommandTable& table) {
  table.add("KUP_RapportHtmlLister", KUP_RapportHtmlLister);
  table.add("KUP_FicheHtmlLister", KUP_FicheHtmlLister);
  table.add("KUP_FicheHtmlOuvrir", KUP_FicheHtmlOuvrir);
  table.add("KUP_RapportHtmlNettoyer", KUP_RapportHtmlNettoyer);
}

}  // namespace kup
