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
    tableur.OpenCalc();
    bool csv = tableur.getVersion() == "9.0";
    std::string fichier = tableur.ExportToTextFile(args, Sep241(), Sep240(), csv);
    std::vector<int> format = tableur.FormatExportedFile(args, Sep241(), Sep240());
    tableur.OpenDocument(fichier, format);
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
