#pragma once
// Text-library tests: an application with the library commands over the
// in-memory word processor, requests that may carry null values, and the
// replies and error calls read back as texts.
#include <optional>
#include <string>
#include <vector>

#include "core/Dispatcher.h"
#include "vb/VbString.h"
#include "documents/Mdl_BibleExterne.h"
#include "office/ApCourrier.h"
#include "office/MemoryWord.h"
#include "tests/TestApp.h"
#include "tests/documents/Courrier_TestOutils.h"

namespace bible_test {

using V = std::vector<std::string>;
using Arg = std::optional<std::string>;  // nullopt: a null value
using Req = std::vector<Arg>;

inline std::string Xml(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '<')
      out += "&lt;";
    else if (c == '&')
      out += "&amp;";
    else
      out += c;
  }
  return out;
}

// A Flex request: the command name, then the values.
inline std::string Requete(const Req& values) {
  std::string s = "<invoke name=\"sGetFlashXML\" returntype=\"xml\"><arguments><array>";
  for (size_t i = 0; i < values.size(); ++i) {
    s += "<property id=\"" + std::to_string(i) + "\">";
    s += values[i] ? "<string>" + Xml(*values[i]) + "</string>" : "<null/>";
    s += "</property>";
  }
  return s + "</array></arguments></invoke>";
}

// Nine article fields (or seven piece fields) told apart by a prefix.
inline Req Champs(const std::string& prefixe, int n) {
  Req r;
  for (int i = 1; i <= n; ++i) r.push_back(prefixe + std::to_string(i));
  return r;
}

struct Bible {
  TestApp t;
  std::shared_ptr<kup::MemoryWordApp> word = std::make_shared<kup::MemoryWordApp>();

  explicit Bible(int typeEditeur = 2) {
    t.app.G_TypeEditeur = typeEditeur;
    kup::G_Courrier(t.app).twinFactory = kup::MemoryWordFactory(word);
    t.app.commands = std::make_shared<kup::CommandTable>();
    kup::RegisterMdl_BibleExterne(*t.app.commands);
    t.app.KUP_MDI.hWnd = t.windows.registerWindow("Korvane");
  }

  // Sends the request; the reply's values, or nothing when none was set.
  std::optional<V> envoyer(const Req& values) {
    t.flash.clear();
    kup::sGetFlashXML(t.app, Requete(values));
    if (t.flash.returns.empty()) return std::nullopt;
    return courrier_test::Valeurs(t.flash.returnValue());
  }
  V requete(const Req& values) { return envoyer(values).value_or(V{"<aucune réponse>"}); }

  V article(Req champs, const Arg& corps) {
    champs.insert(champs.begin(), std::string("KUP_ArticleEditer"));
    champs.push_back(corps);
    return requete(champs);
  }
  V piece(Req champs, const Arg& corps) {
    champs.insert(champs.begin(), std::string("KUP_PieceEditer"));
    champs.push_back(corps);
    return requete(champs);
  }

  std::vector<std::vector<std::string>> erreurs() const { return courrier_test::Erreurs(t); }
  std::shared_ptr<kup::MemoryDocument> document() const { return word->active(); }
  std::string texte() const { return word->active() ? word->active()->dump() : std::string(); }
};

// What an RTF text shows, as the in-memory word processor's dump.
inline std::string Montre(const std::string& rtf) { return kup::MemoryDocument::fromRtf(rtf, false).dump(); }

}  // namespace bible_test
