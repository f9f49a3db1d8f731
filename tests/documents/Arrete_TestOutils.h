#pragma once
// Shared by the decree tests: an application on fakes with the in-memory word
// processor, the decree commands behind the dispatcher, and an attachment
// library whose compressed base64 is plain base64 of "name LF content",
// written to and read from the test's in-memory file system.
#include <memory>
#include <string>
#include <vector>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "vb/VbString.h"
#include "documents/DocumentState.h"
#include "documents/Mdl_ArreteExterne.h"
#include "office/ApCourrier.h"
#include "office/MemoryWord.h"
#include "tests/documents/Courrier_TestOutils.h"

namespace arrete_test {

using V = std::vector<std::string>;

inline kup::platform::FakeFileSystem*& FsArrete() {
  static kup::platform::FakeFileSystem* fs = nullptr;
  return fs;
}

// The encoder writes nothing while this is set, as the library does when it fails.
inline bool& EncodeurEnPanne() {
  static bool panne = false;
  return panne;
}

inline int32_t FauxEncoder(const char* dossier, const char* nom, const char*, const char* sortie) {
  if (EncodeurEnPanne()) return 0;
  try {
    std::string n = kup::FromCp1252(nom);
    std::string contenu = FsArrete()->readFile(kup::FromCp1252(dossier) + "\\" + n);
    FsArrete()->writeFile(kup::FromCp1252(sortie), kup::encodeBase64(n + "\n" + contenu));
    return 1;
  } catch (...) {
    return 0;
  }
}

inline int32_t FauxDecoder(const char* texte, const char* temp, char* tampon, int32_t taille) {
  try {
    std::string octets = kup::decodeBase64(texte);
    auto fin = octets.find('\n');
    if (fin == std::string::npos || fin == 0) return 0;
    std::string nom = octets.substr(0, fin);
    FsArrete()->writeFile(kup::FromCp1252(temp) + "\\" + nom, octets.substr(fin + 1));
    std::string cp = kup::ToCp1252(nom);
    cp.copy(tampon, std::min<size_t>(cp.size(), static_cast<size_t>(taille)));
    return 1;
  } catch (...) {
    return 0;
  }
}

// The compressed base64 text of a file the Flex interface would send.
inline std::string B64(const std::string& nom, const std::string& contenu) {
  return kup::encodeBase64(nom + "\n" + contenu);
}

// A word template with one merge field and one bookmark.
inline const char* kModele =
    "{\\rtf1 Arrete de {\\field{\\*\\fldinst MERGEFIELD NOM}{\\fldrslt }}\\par "
    "Vu : {\\*\\bkmkstart VISAS}{\\*\\bkmkend VISAS}\\par}";
// Merge fields inside an included text.
inline const char* kInclus =
    "{\\rtf1 {\\field{\\*\\fldinst MERGEFIELD NOM}{\\fldrslt }}\\par "
    "{\\field{\\*\\fldinst INCLUDETEXT \"C:\\\\Modeles\\\\bloc.rtf\"}{\\fldrslt "
    "{\\field{\\*\\fldinst MERGEFIELD ADRESSE}{\\fldrslt }}}}\\par}";
// A bookmark that receives RTF text.
inline const char* kRiche =
    "{\\rtf1 {\\field{\\*\\fldinst MERGEFIELD NOM}{\\fldrslt }}\\par "
    "{\\*\\bkmkstart S_RTF_ARTICLES}{\\*\\bkmkend S_RTF_ARTICLES}\\par}";

struct Arrete {
  TestApp t;
  std::shared_ptr<kup::MemoryWordApp> word = std::make_shared<kup::MemoryWordApp>();

  explicit Arrete(int typeEditeur = 2) {
    t.app.G_RepModele = "C:\\Modeles";
    t.app.G_TypeEditeur = typeEditeur;
    t.app.KUP_MDI.hWnd = t.windows.registerWindow("Korvane");
    t.fs.createFolder("C:\\Temp");
    t.fs.put("C:\\Modeles\\arrete.dot", kModele);
    t.fs.put("C:\\Modeles\\inclus.dot", kInclus);
    t.fs.put("C:\\Modeles\\riche.dot", kRiche);
    t.fs.put("C:\\Modeles\\vide.dot", "{\\rtf1 Vu le code.\\par}");
    kup::G_Courrier(t.app).setTypeEditeur(typeEditeur);
    kup::G_Courrier(t.app).twinFactory = kup::MemoryWordFactory(word);
    t.app.commands = std::make_shared<kup::CommandTable>();
    kup::RegisterMdl_ArreteExterne(*t.app.commands);
    FsArrete() = &t.fs;
    EncodeurEnPanne() = false;
    t.libraries.add("AttacheFichier.dll", "FichierVersBase64Compressee", &FauxEncoder);
    t.libraries.add("AttacheFichier.dll", "Base64CompresseeVersFichier", &FauxDecoder);
  }

  kup::ApCourrier& courrier() { return kup::G_Courrier(t.app); }
  kup::DocumentState& docs() { return kup::Docs(t.app); }
  // One request through the dispatcher; the reply's values ({} when none).
  V requete(const V& v) {
    t.flash.clear();
    kup::sGetFlashXML(t.app, courrier_test::Requete(v));
    return courrier_test::Valeurs(t.flash.returnValue());
  }
  bool repondu() const { return !t.flash.returns.empty(); }
  std::vector<V> erreurs() const { return courrier_test::Erreurs(t); }
  std::string texte() { return word->active() ? word->active()->dump() : std::string(); }
};

inline const V kFerme{"Communication", "1", "Document fermé"};

}  // namespace arrete_test
