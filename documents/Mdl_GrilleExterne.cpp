#include "documents/Mdl_GrilleExterne.h"

#include <exception>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/Mdl_DocCommun.h"
#include "office/ApTableur.h"

namespace kup {

void KUP_GrilleExporterTableur(App& app, Args& args) {
  Pieger(app, "KUP_GrilleExporterTableur", [&] {
    ApTableur& tableur = G_Tableur(app);
    // An export that did not open is not answered as done: the failure
    // that ended it is reported.
    long echecs = tableur.Echecs();
    tableur.OpenCalc();
    if (tableur.Echoue(echecs)) return;
    // A version that cannot be read gives the ".txt" file, which every
    // version opens.
    bool csv = tableur.getVersion() == "9.0";
    echecs = tableur.Echecs();
    std::string fichier = tableur.ExportToTextFile(args, Sep241(), Sep240(), csv);
    std::vector<int> format = tableur.FormatExportedFile(args, Sep241(), Sep240());
    if (tableur.Echecs() == echecs) tableur.OpenDocument(fichier, format);
    if (tableur.Echoue(echecs)) return;
    tableur.MaximizeCalc();
    RenvoyerReponse(app, {"KUP_GrilleExporterTableur", "", ""});
    // The spreadsheet and the exported document now belong to the user.
    tableur.DetacheCalc();
  });
}

void RegisterMdl_GrilleExterne(CommandTable& table) {
  table.add("KUP_GrilleExporterTableur", KUP_GrilleExporterTableur);
}

}  // namespace kup
