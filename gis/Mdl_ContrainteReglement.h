#pragma once
// Import of the regulation-constraint files the GIS drops in a folder: each
// file is recognised by its name, its "#"-separated lines become rows of a
// dossier table, and the dossier keys and rows go to the Flex interface in
// one call ("KUP_IntegrationContrainteReglement"). The files are deleted
// once that call has gone through.
#include <array>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/App.h"

namespace kup {

struct DefinitionImport {
  std::string NomFichier;  // matched against the file name's matching part
  int16_t NbChamps = 0;    // a row carries NbChamps - 3 fields
  std::string Table;
};

// A text file opened for reading: its whole content (Windows-1252 on disk)
// and the reading position.
struct FichierTexte {
  std::string contenu;
  size_t position = 0;
  bool ouvert = false;
};

// Module state, rebuilt at each import.
struct ImportContraintes {
  static constexpr size_t kNbDefinitions = 53;
  std::array<DefinitionImport, kNbDefinitions> definitions;
  size_t nbDefinitions = 0;
  std::array<std::string, 7> parties;  // name parts of the current file
  // Names of more than seven parts already reported: each folder walk meets
  // them again, the user hears of each once.
  std::unordered_set<std::string> nomsSignales;
  std::string dossier;                 // the folder, with its trailing "\"
  std::string fichier;                 // name of the file being imported
  std::vector<std::string> cles;       // dossier keys, each once, in order met
  std::unordered_set<std::string> clesVues;
  // The rows in the order read, already joined with Chr(242) and written as
  // the call's XML carries them ("&" and "<" as entities): an import may
  // hold a million of them, and the call is built around them in place.
  // Only the first tailleLignes bytes are rows: the rest is room made once
  // (growing a text fills its new room).
  std::string lignes;
  size_t tailleLignes = 0;
  size_t nbLignes = 0;
};

// Runs one import of the folder and ends with the call into the player.
void IntegrationReglementDDE(App& app, const std::string& dossier);

// ---- steps (each reports its own failures under its own name)
void sub_InitDefinitionsImport(ImportContraintes& imp);
std::string BackSlashDossier(App& app, const std::string& dossier);
void DecomposeNomFichier(App& app, ImportContraintes& imp, const std::string& nomFichier);
// Imports the current file; true when it was read to its end. A file not
// read to its end (not opened, or failing part-way) adds nothing to the
// lists: its dossier key and rows wait for the import that reads it.
bool Traitement_Import(App& app, ImportContraintes& imp, const DefinitionImport& def);
bool DossierPasDejaTraite(App& app, ImportContraintes& imp, const std::string& cle);
// With lecture true, opens an existing file for reading; false when it does
// not exist (message box) or cannot be opened (reported).
bool FichierLireEcrire(App& app, const std::string& chemin, FichierTexte& fichier, bool lecture, bool autre);
// The next line that is not blank; false at the end of the file (the line
// is then "EOF"), when only blank lines remain, or on a line "EOF".
bool sLireLigneSuivante(FichierTexte& fichier, std::string& ligne);
// Takes the next field off the front of the line (field index 0).
void LireMotSuivant(App& app, std::string& ligne, std::string& mot, const std::string& separateur, int indice,
                    long& position);

}  // namespace kup
