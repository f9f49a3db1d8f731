#include "gis/SIG_Thematique.h"

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "gis/DDE_Client.h"

namespace kup {

namespace {

void MessageErreur(App& app, const std::string& description) {
  if (app.pf.msgbox) app.pf.msgbox->show("Erreur DDE_Fichier " + description, platform::mb::OKOnly, "Korvane");
}

template <typename F>
void Etape(App& app, F&& f) {
  try {
    f();
  } catch (const VbError& e) {
    MessageErreur(app, e.description());
  } catch (const std::exception& e) {
    MessageErreur(app, e.what());
  }
}

// A value line carries a 15-character parcel reference from its sixth character.
constexpr long kLongueurRef = 15;

}  // namespace

void KUP_LireThematiqueFichier(App& app, const std::string& argument0, const std::string& texte, bool conversion) {
  std::string chemin;
  std::string contenu;
  Etape(app, [&] {
    if (!conversion) {
      contenu = texte + vbCrLf;
      return;
    }
    for (std::string ligne : Split(texte, vbCrLf)) {
      if (Left(ligne, 4) == "VAL=") {
        std::string ref = Mid(ligne, 6, kLongueurRef);
        if (static_cast<long>(Len(ref)) == kLongueurRef) {
          std::string conv = sRefCadConvertir(*Partenaire(app, "NEW"), *Partenaire(app, "KUPV3"), ref);
          ligne = Replace(ligne, ref, conv);
        } else {
          ligne = ";" + ligne;
        }
      }
      if (!ligne.empty()) contenu += ligne + vbCrLf;
    }
  });
  // The lines prepared before a failure are written all the same, in a
  // file made new for them, and the GIS is told about it.
  Etape(app, [&] { chemin = sCreerFichierTemporaire(app, ".txt", ToCp1252(contenu)); });
  if (chemin.empty()) return;
  Etape(app, [&] {
    auto gis = Partenaire(app, "NEW");
    gis->DDESRV_Executer(app, "DDE_LireThematiqueFichier(" + chemin + ")", false, true);
  });
}

void RegisterSIG_Thematique(CommandTable& table) {
  table.add("KUP_LireThematiqueFichier", [](App& app, Args& args) {
    // Only the text "<true/>" asks for the conversion; anything else, Null
    // included, is a plain copy.
    const Value& drapeau = Arg(args, 2);
    bool conversion = drapeau.isString() && drapeau.str() == "<true/>";
    KUP_LireThematiqueFichier(app, CStr(Arg(args, 0)), CStr(Arg(args, 1)), conversion);
  });
}

}  // namespace kup
