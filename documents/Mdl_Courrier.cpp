#include "documents/Mdl_Courrier.h"

#include <ctime>
#include <exception>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_DocCommun.h"
#include "documents/Mdl_Html.h"
#include "office/ApCourrier.h"

namespace kup {

namespace {

// A value list of the Flex interface: an empty text is one empty value.
StrArray ListeValeurs(const std::string& text) {
  if (text.empty()) return {std::string()};
  return Split(text, Sep240());
}

std::string HeureLocaleTexte(App& app, bool date) {
  std::time_t t = app.env().now();
  std::tm local{};
  localtime_r(&t, &local);
  return date ? platform::FormatShortDate(app.pf.regional, local) : platform::FormatLongTime(app.pf.regional, local);
}

// Gives the merged copy in the temporary folder a dated name and reads it:
// file name, full path, base64 content.
StrArray PieceJointe(App& app, const std::string& resultat) {
  ApCourrier& courrier = G_Courrier(app);
  std::string temp = app.env().tempFolder();
  long point = InStrRev(resultat, ".");
  std::string ext = Mid(resultat, point + 1);
  std::string base = Replace(resultat, "." + ext, "") + "-" + Replace(HeureLocaleTexte(app, true), "/", "-") + "-" +
                     Replace(HeureLocaleTexte(app, false), ":", "-");
  std::string nom = base + "." + ext;
  std::string chemin = sJoindreChemin(temp, nom);

  courrier.CloseDocument(true);
  // An earlier attachment of the same letter within the same second is replaced.
  try {
    if (app.fs().fileExists(chemin)) app.fs().removeFile(chemin);
  } catch (...) {
  }
  std::string source = sJoindreChemin(temp, resultat);
  if (resultat.empty() || !app.fs().fileExists(source)) raise(vberr::FileNotFound);
  app.fs().renameFile(source, chemin);
  return {nom, chemin, encodeBase64(LireFichierBinaire(app, chemin))};
}

}  // namespace

// ---------------------------------------------------------------- templates and dialogs

void KUP_CourrierListeModele(App& app, Args& args) {
  if (args.size() < 2) return;
  Pieger(app, "KUP_CourrierListeModele", [&] {
    std::string dossierType = CStr(Arg(args, 0));
    std::string prefixe = CStr(Arg(args, 1));
    std::string sousDossier = CStr(Arg(args, 2));
    std::string quatrieme = CStr(Arg(args, 3));
    StrArray extensions = G_Courrier(app).ExtensionListeModeles();
    StrArray liste = sCommunListeModele(app, dossierType, prefixe, sousDossier, quatrieme, extensions);
    RepondreListe(app, "KUP_CourrierListeModele", liste);
  });
}

void KUP_CourrierInitialiser(App& app, Args& args) {
  Pieger(app, "KUP_CourrierInitialiser", [&] {
    std::string modele = PremierTexte(args);
    if (modele.empty()) return;
    std::string bas = LCase(modele);
    if (Right(bas, 5) == ".html" || Right(bas, 4) == ".htm") {
      KUP_Courrier_Edite(app, args);
      return;
    }

    ApCourrier& courrier = G_Courrier(app);
    const long echecs = courrier.Echecs();
    courrier.OpenEditor();
    courrier.OpenDocument(modele);
    // The driver has reported why the template did not open; its fields
    // would be those of the document opened before.
    if (courrier.Echecs() != echecs) return;
    courrier.MinimizeEditor();
    courrier.G_MergeFieldIncludeText = courrier.FindMergeFields(true);
    if (!courrier.G_MergeFieldIncludeText) courrier.FindMergeFields(false);
    courrier.FindBookMarks();

    StrArray reply(10);
    reply[0] = "KUP_CourrierValeursChampsSignets";
    reply[1] = Join(courrier.MergeFields, Sep240());
    reply[2] = Join(courrier.BookMarks, Sep240());
    StrArray noms, identifiants, largeurs, hauteurs, echelles;
    if (courrier.trouverFusionObject(noms, identifiants, largeurs, hauteurs, echelles)) {
      reply[3] = Join(identifiants, ";");
      reply[4] = Join(noms, ";");
      reply[5] = Join(largeurs, ";");
      reply[6] = Join(hauteurs, ";");
      reply[7] = Join(echelles, ";");
    }
    RenvoyerReponse(app, reply);
  });
}

void KUP_CourrierChoixModele(App& app, Args& args) {
  auto etape = [&](auto&& f) { return EtapeModele(app, "KUP_CourrierChoixModele", f); };

  std::string chemin;
  if (!etape([&] { chemin = G_Courrier(app).ChoiceFile(*app.pf.dialog); })) return;
  if (chemin.empty()) return;
  std::string nom, dossier;
  if (!etape([&] {
        auto pos = chemin.find_last_of("\\/");
        nom = pos == std::string::npos ? chemin : chemin.substr(pos + 1);
        dossier = pos == std::string::npos ? std::string() : chemin.substr(0, pos + 1);
      }))
    return;
  std::string appel;
  if (!etape([&] { appel = sInvokeXML("KUP_CourrierChoixModele", {dossier + Sep241() + nom, "", ""}); })) return;
  etape([&] { KUP_EnvoyerChaineVersFlex(app, appel); });
}

void KUP_ChoixImprimante(App& app, Args& args) {
  Pieger(app, "KUP_ChoixImprimante", [&] { G_Courrier(app).ChoicePrint(*app.pf.dialog); });
}

void KUP_CourrierAttenteLister(App& app, Args& args) {
  Pieger(app, "KUP_CourrierAttenteLister",
         [&] { RenvoyerReponse(app, ReponseEcho("KUP_CourrierAttenteLister", args)); });
}

void KUP_CourrierAttenteImprimer(App& app, Args& args) {}

// ---------------------------------------------------------------- values and merge

void KUP_CourrierMajSignets(App& app, Args& args) {
  Pieger(app, "KUP_CourrierMajSignets", [&] {
    StrArray valeurs;
    valeurs.reserve(args.size());
    for (const auto& v : args) valeurs.push_back(CStr(v));
    G_Courrier(app).BookMarksValues = std::move(valeurs);
  });
}

void KUP_CourrierMajValeursChamps(App& app, Args& args) {
  Pieger(app, "KUP_CourrierMajValeursChamps", [&] {
    StrArray valeurs = ListeValeurs(CStr(Arg(args, 1)));
    ApCourrier& courrier = G_Courrier(app);
    courrier.MergeFieldsValues = std::move(valeurs);
    // Each bookmark shows its own name.
    courrier.BookMarksValues = courrier.BookMarks;
  });
}

void sub_CourrierFusionner(App& app, const std::string& commandName, Args& request, bool attach) {
  Pieger(app, commandName, [&] {
    ApCourrier& courrier = G_Courrier(app);
    const long echecs = courrier.Echecs();
    courrier.MergeFieldsValues = ListeValeurs(CStr(Arg(request, 6)));
    courrier.BookMarksValues = ListeValeurs(CStr(Arg(request, 7)));
    int32_t copies = CLng(Arg(request, 4));

    bool inclus = courrier.G_MergeFieldIncludeText;
    bool rtf = courrier.InsertBookMarksValues();
    if (inclus || rtf) {
      // The included texts and RTF values may have brought new fields: the
      // Flex interface gets the full lists and asks for the action again.
      courrier.UnlinkIncludeText();
      courrier.FindMergeFields(false);
      courrier.FindBookMarks();
      StrArray reply{"KUP_CourrierValeursChampsSignets", Join(courrier.MergeFields, Sep240()),
                     Join(courrier.BookMarks, Sep240()), "", ""};
      courrier.G_MergeFieldIncludeText = false;
      RenvoyerReponse(app, reply);
      return;
    }

    bool voulue = attach;
    if (request.size() > 5 && request[5].isString() && request[5].str() == "KUP_AttFicAttacher") voulue = true;

    std::string resultat;
    if (commandName == "KUP_CourrierOuvrir" || commandName == "KUP_CourrierAttacher") {
      resultat = courrier.MailMergeOpen(true, voulue);
    } else if (commandName == "KUP_CourrierMail") {
      resultat = courrier.MailMergeMail(true, voulue);
    } else if (commandName == "KUP_CourrierImprimer") {
      resultat = courrier.MailMergePrint(copies, true, false, voulue);
      courrier.CloseEditor();
    } else if (commandName == "KUP_CourrierImpressionDifferee") {
      StrArray morceaux = Split(CStr(Arg(request, 0)), ".");
      if (morceaux.size() < 2) raise(vberr::SubscriptOutOfRange);
      std::string fichier = morceaux[0] + "_" + StrOrEmpty(request[2]) + "_" + StrOrEmpty(request[4]) + "_" +
                            StrOrEmpty(request[3]) + "_" + StrOrEmpty(request[1]) + "." + morceaux[1];
      resultat = courrier.MailMergeSave(fichier, voulue);
    }

    StrArray piece{"", "", ""};
    if (attach || voulue) {
      // The driver has reported why there is no letter: nothing to attach,
      // and nothing more to say.
      if (courrier.Echecs() != echecs) return;
      piece = PieceJointe(app, resultat);
    }

    const size_t n = request.size();
    request.resize(n + 3);
    request[n - 1] = Value(piece[0]);
    request[n] = Value(piece[1]);
    request[n + 1] = Value(piece[2]);

    RenvoyerReponse(app, ReponseEcho(commandName, request));
  });
}

void KUP_CourrierOuvrir(App& app, Args& args, bool attach) {
  sub_CourrierFusionner(app, attach ? "KUP_CourrierAttacher" : "KUP_CourrierOuvrir", args, attach);
}

void KUP_CourrierMail(App& app, Args& args) { sub_CourrierFusionner(app, "KUP_CourrierMail", args, false); }

void KUP_CourrierImprimer(App& app, Args& args) { sub_CourrierFusionner(app, "KUP_CourrierImprimer", args, false); }

void KUP_CourrierImpressionDifferee(App& app, Args& args) {
  sub_CourrierFusionner(app, "KUP_CourrierImpressionDifferee", args, false);
}

void Retour_SIG_FusionCartoParcelle(App& app, Args& args) {
  Pieger(app, "Retour_SIG_FusionCartoParcelle", [&] {
    if (args.empty() || StrOrEmpty(args[0]).empty()) return;
    StrArray listes[5];
    for (size_t i = 0; i < 5; ++i) listes[i] = Split(CStr(Arg(args, i)), ";");
    StrArray reply{"Retour_SIG_FusionCartoParcelle"};
    for (size_t i = 0; i < 5; ++i) reply.push_back(CStr(args[i]));
    reply.push_back("");
    reply.push_back("");
    G_Courrier(app).remplacerFusionObject(listes[0], listes[1], listes[2], listes[3], listes[4]);
    RenvoyerReponse(app, reply);
  });
}

void RegisterMdl_Courrier(CommandTable& table) {
  table.add("KUP_CourrierListeModele", KUP_CourrierListeModele);
  table.add("KUP_CourrierInitialiser", KUP_CourrierInitialiser);
  table.addDeferred("KUP_CourrierChoixModele", 500, KUP_CourrierChoixModele);
  table.addDeferred("KUP_ChoixImprimante", 500, KUP_ChoixImprimante);
  table.add("KUP_CourrierAttenteLister", KUP_CourrierAttenteLister);
  table.add("KUP_CourrierAttenteImprimer", KUP_CourrierAttenteImprimer);
  table.add("KUP_CourrierValeursSignets", KUP_CourrierMajSignets);
  table.add("KUP_CourrierValeursChamps", KUP_CourrierMajValeursChamps);
  table.add("KUP_CourrierOuvrir", [](App& app, Args& args) { KUP_CourrierOuvrir(app, args, false); });
  table.add("KUP_CourrierAttacher", [](App& app, Args& args) { KUP_CourrierOuvrir(app, args, true); });
  table.add("KUP_CourrierMail", KUP_CourrierMail);
  table.add("KUP_CourrierImprimer", KUP_CourrierImprimer);
  table.add("KUP_CourrierImpressionDifferee", KUP_CourrierImpressionDifferee);
  table.add("KUP_CourrierLiasse", [](App&, Args&) {});
  // The default answer of the dispatcher takes the place of the handler's.
  table.add("Retour_SIG_FusionCartoParcelle", [](App& app, Args& args) {
    Retour_SIG_FusionCartoParcelle(app, args);
    RenvoyerValeurFlexDefaut(app, args);
  });
}

}  // namespace kup
