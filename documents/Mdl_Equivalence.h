#pragma once
// Start-up load of the V3 catalogue and the V2-to-V3 equivalences, and the
// lookups through which the word processor driver converts the V2 merge
// fields of a document.
//
// For one V2 merge field the driver calls, in this order:
//   key   = sNomVariableV3(name, code, app.G_Equivalence.get());
//   when key is not empty:
//     names = vNomsEquivalence(key, app.G_Equivalence.get());
//     mode  = sModeEquivalence(key, app.G_Equivalence.get());   // "c" is handled apart
//   and for each V3 name:
//     fmt   = sFormatEquivalence(v3name, app.G_Catalogue.get());
// None of the lookups fails: a missing object or key gives the empty result.
#include <string>
#include <string_view>

#include "core/App.h"
#include "vb/Value.h"

namespace kup {

class Catal_V3;
class Equivalence_V3;

// Everything before the last "\" (or "/") of path, "" when it holds none.
std::string sRepertoireChemin(std::string_view path);
// Everything after the last "\" (or "/") of path, path itself when it holds none.
std::string sNomFichierChemin(std::string_view path);

// Loads "Var_Catalogue_V3.csv" (and its bookmark file) into G_Catalogue and
// "Var_Equiv_V2_V3.csv" (and its bookmark file) into G_Equivalence from the
// program folder; sets G_ResCatalogue and G_ResEquivalence; rows go to
// G_ErrCatalogue and to a new G_ErrEquivalence. Never fails; shows nothing.
void sub_ChargerEquivalences(App& app);
// Makes sub_ChargerEquivalences the start-up hook of the application.
void InstallMdl_EquivalenceHooks(App& app);

// The equivalence key for a V2 name and a dossier code: name & "_" & code
// when it exists, else name & "_AA" when that exists, else "". When a key is
// found, name becomes the stored V2 name and the key is built from it.
std::string sNomVariableV3(std::string& name, const std::string& code, const Equivalence_V3* equivalences);
// The V3 names of the entry under key (split at blanks); none when absent.
StrArray vNomsEquivalence(const std::string& key, const Equivalence_V3* equivalences);
// The mode of the entry under key, "" when absent.
std::string sModeEquivalence(const std::string& key, const Equivalence_V3* equivalences);
// The field format switch of the catalogue variable of that name (any
// case), "" when there is none. Takes the catalogue, not the equivalences.
std::string sFormatEquivalence(const std::string& name, const Catal_V3* catalogue);

}  // namespace kup
