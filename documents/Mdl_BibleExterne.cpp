#include "documents/Mdl_BibleExterne.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>
#include <vector>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/DocumentState.h"
#include "documents/Mdl_DocCommun.h"
#include "documents/Mdl_Panneau.h"
#include "office/ApCourrier.h"

namespace kup {

namespace {

const char* kEditeurFerme = "L'éditeur a été fermé, impossible de continuer";
constexpr int32_t kEditeurAbsent = 462;  // the word processor is gone

const char* kEnteteArticles[] = {"Code commune", "Modèle", "Type", "Code", "Thème", "Titre", "Décision"};
const char* kEntetePieces[] = {"ID1", "ID2", "Code commune", "Modèle", "Type", "Nom", "Défaut"};

const char* kDebutArticles = "{DEBUT_BIBLE_ARRETE}";
const char* kArticle = "{DEBUT_ARRETE}";
const char* kFinArticles = "{FIN_BIBLE_ARRETE}";
const char* kDebutPieces = "{DEBUT_BIBLE_PIECE}";
const char* kPiece = "{DEBUT_PIECE}";
const char* kFinPieces = "{FIN_BIBLE_PIECE}";

// Reply upper index of the read-back: the cells, the body and the status pair.
constexpr int kDernierIndiceArticle = 12;
constexpr int kDernierIndicePiece = 10;

std::string EnteteTabulee(const char* const (&titres)[7]) {
  std::string s;
  for (size_t i = 0; i < 7; ++i) {
    if (i) s += "\t";
    s += titres[i];
  }
  return s;
}

// The driver reports its own failures and goes on with neutral answers, so
// a closed word processor or document would let a command answer as if it
// had written or read something. Commands whose answer depends on the
// document make sure it is still there first, and fail as the word
// processor's call would have.
void ExigerDocument(ApCourrier& courrier) {
  IWordTwin* w = courrier.twin();
  if (!w || !courrier.EditeurToujoursOuvert()) raise(kEditeurAbsent, kEditeurFerme);
  w->cursorPos();  // fails when the driver's document is no longer open
}

// The driver reports a failed call itself and answers an empty text, false
// or nothing: told apart from a real answer only by its failure count.
class ControleEchecs {
 public:
  explicit ControleEchecs(const ApCourrier& courrier) : courrier_(courrier), avant_(courrier.Echecs()) {}
  bool echoue() const { return courrier_.Echecs() != avant_; }

 private:
  const ApCourrier& courrier_;
  long avant_;
};

// The echoed reply of the editing commands; its status pair tells a closed
// word processor.
void RepondreEdition(App& app, const std::string& nom, const Args& args, bool editeurOuvert) {
  RenvoyerReponse(app, ReponseEcho(nom, args, editeurOuvert ? "" : "-1", editeurOuvert ? "" : kEditeurFerme));
}

// ---- where an inserted body leaves the cursor

// Groups whose content a word processor does not show.
bool DestinationCachee(const std::string& mot) {
  static const std::set<std::string> k{
      "fonttbl", "colortbl",  "stylesheet", "info",    "listtable", "listoverridetable", "rsidtbl",
      "generator", "xmlnstbl", "filetbl",   "revtbl",  "header",    "headerl",           "headerr",
      "headerf",  "footer",   "footerl",    "footerr", "footerf",   "footnote",          "fldinst",
      "pntext",   "pntxta",   "pntxtb",     "nonshppict", "themedata", "colorschememapping", "latentstyles",
      "datastore", "pgdsctbl"};
  return k.count(mot) != 0;
}

// Groups shown as one object (a picture, an embedded object, a shape).
bool ObjetAffiche(const std::string& mot) { return mot == "pict" || mot == "object" || mot == "shp" || mot == "shppict"; }

// Control words that stand for a shown character.
bool CaractereAffiche(const std::string& mot) {
  static const std::set<std::string> k{"tab",    "emdash", "endash", "emspace", "enspace", "qmspace",
                                       "bullet", "lquote", "rquote", "ldblquote", "rdblquote", "u",
                                       "zwj",    "zwnj",   "cell",   "chftn"};
  return k.count(mot) != 0;
}

// True when what the RTF text shows last is the end of a paragraph (or of a
// table row), so that text inserted after it starts a line of its own.
bool RtfFinitParUneLigne(std::string_view rtf) {
  bool finDeLigne = true;         // nothing shown yet: the cursor has not left its line start
  std::vector<bool> cache{false};  // per open group: its content is not shown
  bool debutGroupe = false;
  size_t i = 0;
  const size_t n = rtf.size();
  while (i < n) {
    char ch = rtf[i];
    if (ch == '{') {
      cache.push_back(cache.back());
      debutGroupe = true;
      ++i;
      continue;
    }
    if (ch == '}') {
      if (cache.size() > 1) cache.pop_back();
      debutGroupe = false;
      ++i;
      continue;
    }
    if (ch == '\r' || ch == '\n') {
      ++i;
      continue;
    }
    if (ch != '\\') {
      if (!cache.back()) finDeLigne = false;
      debutGroupe = false;
      ++i;
      continue;
    }
    if (i + 1 >= n) break;
    char c = rtf[i + 1];
    bool premier = debutGroupe;
    debutGroupe = false;
    if (std::isalpha(static_cast<unsigned char>(c))) {
      size_t j = i + 1;
      while (j < n && std::isalpha(static_cast<unsigned char>(rtf[j]))) ++j;
      std::string mot(rtf.substr(i + 1, j - i - 1));
      size_t k = j;
      if (k < n && rtf[k] == '-') ++k;
      size_t chiffres = k;
      while (k < n && std::isdigit(static_cast<unsigned char>(rtf[k]))) ++k;
      long parametre = 0;
      if (k > chiffres)
        parametre = std::stol(std::string(rtf.substr(chiffres, std::min<size_t>(k - chiffres, 9))));
      else
        k = j;  // a lone "-" is text, not a parameter
      if (k < n && rtf[k] == ' ') ++k;
      i = k;
      if (mot == "bin" && parametre > 0) i += static_cast<size_t>(parametre);
      if (cache.back()) continue;
      if (premier && DestinationCachee(mot)) {
        cache.back() = true;
      } else if (premier && ObjetAffiche(mot)) {
        finDeLigne = false;
        cache.back() = true;
      } else if (mot == "par" || mot == "sect" || mot == "row" || mot == "line") {
        finDeLigne = true;
      } else if (CaractereAffiche(mot)) {
        finDeLigne = false;
      }
      continue;
    }
    i += 2;
    if (c == '*') {
      if (premier) cache.back() = true;
      continue;
    }
    if (c == '\'') i += 2;
    if (cache.back()) continue;
    if (c == '\r' || c == '\n')
      finDeLigne = true;  // a backslash before a line end is a paragraph end
    else if (c == '\'' || c == '\\' || c == '{' || c == '}' || c == '~' || c == '_' || c == '-')
      finDeLigne = false;
  }
  return finDeLigne;
}

// True when inserting the body through the driver's RTF insertion leaves the
// cursor at the start of a line.
bool CorpsFinitParUneLigne(const std::string& corps) {
  if (corps.rfind("{\\rtf", 0) == 0) return RtfFinitParUneLigne(corps);
  return corps.empty() || corps.back() == '\r' || corps.back() == '\n';
}

// ---- single texts

// The single text of an insertion request: exactly one argument that is
// not empty. A request without arguments hands over the command's own name,
// which is inserted as any other text (the decree insertions do the same).
bool TexteUnique(const Args& args, std::string& texte) {
  if (args.size() != 1 || args[0].isNull()) return false;
  texte = StrOrEmpty(args[0]);
  return !texte.empty();
}

}  // namespace

// ---------------------------------------------------------------- writing a library

void KUP_BibleInitialiser(App& app, Args&) {
  Pieger(app, "KUP_BibleInitialiser", [&] {
    ApCourrier& courrier = G_Courrier(app);
    courrier.OpenEditor();
    courrier.OpenDocument("");
    courrier.MaximizeEditor();
  });
}

void KUP_ArticleEditerDebut(App& app, Args& args) {
  Pieger(app, "KUP_ArticleEditerDebut", [&] {
    ApCourrier& courrier = G_Courrier(app);
    courrier.OpenEditor();
    bool ouvert = courrier.EditeurToujoursOuvert();
    if (ouvert) {
      ExigerDocument(courrier);
      courrier.Orientation(2);
      courrier.InsertTextToTable(EnteteTabulee(kEnteteArticles));
      courrier.InsertText(kDebutArticles, true, nullptr);
    }
    RepondreEdition(app, "KUP_ArticleEditerDebut", args, ouvert);
  });
}

void KUP_PieceEditerDebut(App& app, Args& args) {
  Pieger(app, "KUP_PieceEditerDebut", [&] {
    ApCourrier& courrier = G_Courrier(app);
    bool ouvert = courrier.EditeurToujoursOuvert();
    if (ouvert) {
      ExigerDocument(courrier);
      courrier.MinimizeEditor();
      courrier.Orientation(2);
      courrier.InsertTextToTable(EnteteTabulee(kEntetePieces));
      courrier.InsertText(kDebutPieces, true, nullptr);
    }
    RepondreEdition(app, "KUP_PieceEditerDebut", args, ouvert);
  });
}

void KUP_BibleArticlePieceEditer(App& app, const Args& args, const std::string& itemMarker, int bodyFormat) {
  Pieger(app, "KUP_BibleArticlePieceEditer", [&] {
    // A TAB inside a field would split its cell and shift every later field
    // of the row on the way back.
    std::string ligne;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
      ligne += Replace(StrOrEmpty(args[i]), "\t", " ");
      if (i + 2 < args.size()) ligne += "\t";
    }
    ApCourrier& courrier = G_Courrier(app);
    if (!courrier.EditeurToujoursOuvert()) return;
    courrier.InsertText(itemMarker, true, nullptr);
    courrier.InsertTextToTable(ligne);
    std::string corps = args.empty() ? std::string() : CStr(args.back());
    if (bodyFormat == kBibleFormatRTF) {
      // The next marker must start a line of its own: glued to the body's
      // last line it would make the read-back drop that line.
      courrier.InsertTextRTF(corps, nullptr, !CorpsFinitParUneLigne(corps));
    } else {
      courrier.InsertText(corps, true, nullptr);
    }
  });
}

void KUP_ArticleEditer(App& app, Args& args) {
  Pieger(app, "KUP_ArticleEditer", [&] {
    ApCourrier& courrier = G_Courrier(app);
    bool ouvert = courrier.EditeurToujoursOuvert();
    if (ouvert) {
      ExigerDocument(courrier);
      KUP_BibleArticlePieceEditer(app, args, kArticle, kBibleFormatRTF);
    }
    RepondreEdition(app, "KUP_ArticleEditer", args, ouvert);
  });
}

void KUP_PieceEditer(App& app, Args& args) {
  Pieger(app, "KUP_PieceEditer", [&] {
    ApCourrier& courrier = G_Courrier(app);
    bool ouvert = courrier.EditeurToujoursOuvert();
    if (ouvert) {
      ExigerDocument(courrier);
      KUP_BibleArticlePieceEditer(app, args, kPiece, kBibleFormatTexte);
    }
    RepondreEdition(app, "KUP_PieceEditer", args, ouvert);
  });
}

namespace {
void EditerFin(App& app, Args& args, const char* nom, const char* marqueurFin) {
  Pieger(app, nom, [&] {
    ApCourrier& courrier = G_Courrier(app);
    ExigerDocument(courrier);
    courrier.InsertText(marqueurFin, false, nullptr);
    courrier.ZoomToPage();
    courrier.MaximizeEditor();
    RepondreEdition(app, nom, args, true);
  });
}
}  // namespace

void KUP_ArticleEditerFin(App& app, Args& args) { EditerFin(app, args, "KUP_ArticleEditerFin", kFinArticles); }

void KUP_PieceEditerFin(App& app, Args& args) { EditerFin(app, args, "KUP_PieceEditerFin", kFinPieces); }

// ---------------------------------------------------------------- reading a library back

void KUP_BibleArticlePieceIntegrer(App& app, const std::string& replyName, int count, const std::string& itemMarker,
                                   bool fromDocumentStart, int bodyFormat, const std::string& beginMarker,
                                   const std::string& endMarker) {
  Pieger(app, "KUP_BibleArticlePieceIntegrer", [&] {
    if (count < 3) raise(vberr::InvalidCall);
    StrArray r(static_cast<size_t>(count) + 1);
    r[0] = replyName;
    ApCourrier& courrier = G_Courrier(app);
    ExigerDocument(courrier);
    // A driver call that failed has been reported already; what the reader
    // saw after it is no item, so no answer is sent.
    const ControleEchecs echecs(courrier);

    if (fromDocumentStart) {
      courrier.UpdateActiveDocument();
      courrier.GotoStartOfDoc();
      courrier.GotoStartOfDoc();
      courrier.GotoStartOfDoc();
      courrier.SearchWord(beginMarker);
      courrier.GotoEndOfLine();
    }
    courrier.GotoEndOfLine();
    if (!courrier.SearchWord(itemMarker)) {
      if (echecs.echoue()) return;
      r[0] = "KUP_IntegrerFin";
      RenvoyerReponse(app, r);
      return;
    }

    // Into the first cell of the item's row.
    courrier.GotoStartOfLine();
    courrier.GoDown();
    if (!courrier.SelectionInTable()) {
      if (echecs.echoue()) return;
      raise(vberr::InvalidCall, "Le tableau de l'élément manque sous le marqueur " + itemMarker);
    }
    const int cellules = count - 3;
    for (int i = 1; i <= cellules; ++i) {
      courrier.SelectCell();
      r[static_cast<size_t>(i)] = courrier.CellTextSelected();
      if (i == cellules) {
        courrier.GoDown();
        courrier.GotoStartOfLine();
      } else {
        courrier.GotoNextCell();
      }
    }

    CursorPosition debutCorps = courrier.GetCursorPos().at(0);
    if (courrier.SearchWord(itemMarker)) {
      courrier.GotoStartOfLine();
      courrier.GoUp();
      courrier.GotoEndOfLine();
    } else {
      // Without its end marker the last body has no known end; reading on
      // from where the cursor stands would answer an empty body for it.
      if (!courrier.SearchWord(endMarker)) {
        if (echecs.echoue()) return;
        raise(vberr::InvalidCall, "Le marqueur de fin " + endMarker + " est introuvable");
      }
      courrier.GoUp();
      courrier.GotoEndOfLine();
    }
    CursorPosition finCorps = courrier.GetCursorPos().at(0);

    // An end inside the item's row table: the item has no body.
    if (!courrier.SelectionInTable()) {
      courrier.SetRange(debutCorps, finCorps);
      r[static_cast<size_t>(count) - 2] =
          bodyFormat == kBibleFormatRTF ? courrier.SelectionToRTF() : courrier.SelectionToText();
    }
    r[static_cast<size_t>(count) - 1] = "";
    r[static_cast<size_t>(count)] = "";
    if (echecs.echoue()) return;
    RenvoyerReponse(app, r);
  });
}

void KUP_ArticleIntegrer(App& app, Args&) {
  KUP_BibleArticlePieceIntegrer(app, "KUP_ArticleIntegrer", kDernierIndiceArticle, kArticle, true, kBibleFormatRTF,
                                kDebutArticles, kFinArticles);
}

void KUP_ArticleIntegrerSuivant(App& app, Args&) {
  KUP_BibleArticlePieceIntegrer(app, "KUP_ArticleIntegrerSuivant", kDernierIndiceArticle, kArticle, false,
                                kBibleFormatRTF, kDebutArticles, kFinArticles);
}

void KUP_PieceIntegrer(App& app, Args&) {
  KUP_BibleArticlePieceIntegrer(app, "KUP_PieceIntegrer", kDernierIndicePiece, kPiece, true, kBibleFormatTexte,
                                kDebutPieces, kFinPieces);
}

void KUP_PieceIntegrerSuivante(App& app, Args&) {
  KUP_BibleArticlePieceIntegrer(app, "KUP_PieceIntegrerSuivante", kDernierIndicePiece, kPiece, false,
                                kBibleFormatTexte, kDebutPieces, kFinPieces);
}

// ---------------------------------------------------------------- the library panel

void KUP_BibleEntrer(App& app, Args& args) {
  Pieger(app, "KUP_BibleEntrer", [&] {
    MainWindow& w = app.KUP_MDI;
    DocumentState& d = Docs(app);
    PlacePanneau place = PlaceDuPanneau(app, d.bibleGauche, d.bibleHaut);

    if (args.size() == 2) {
      // Back to normal with a fixed border before the size is taken: a
      // maximised window would not keep it. A size the window cannot take
      // stops the command there, leaving state and border as set.
      w.WindowState = 0;
      w.BorderStyle = 3;
      DimensionnerPanneau(w, args);
      w.Left = place.gauche;
      w.Top = place.haut;
      FenetrePremierPlan(app, w.hWnd, true);
    }
    RepondrePlacement(app, "KUP_BibleEntrer");
  });
}

void KUP_BibleSortir(App& app, Args& args) {
  Pieger(app, "KUP_BibleSortir", [&] {
    MainWindow& w = app.KUP_MDI;
    if (args.size() == 2) {
      DimensionnerPanneau(w, args);
      w.BorderStyle = 2;
      const DocumentState& d = Docs(app);
      w.Left = d.bibleGauche;
      w.Top = d.bibleHaut;
      w.Maximise();
      G_Courrier(app).CloseDocument(true);
    }
    FenetrePremierPlan(app, w.hWnd, false);
    RepondrePlacement(app, "KUP_BibleSortir");
  });
}

void KUP_Dimensionner(App& app, Args& args) {
  Pieger(app, "KUP_Dimensionner", [&] {
    if (args.size() == 2) DimensionnerPanneau(app.KUP_MDI, args);
    RepondrePlacement(app, "KUP_Dimensionner");
  });
}

// ---------------------------------------------------------------- single texts

void KUP_BibleInsererRTF(App& app, Args& args) {
  Pieger(app, "KUP_BibleInsererRTF", [&] {
    std::string texte;
    if (!TexteUnique(args, texte)) return;
    ApCourrier& courrier = G_Courrier(app);
    ExigerDocument(courrier);
    courrier.InsertTextRTF(texte, nullptr, false);
  });
}

void KUP_BibleInsererTexte(App& app, Args& args) {
  Pieger(app, "KUP_BibleInsererTexte", [&] {
    std::string texte;
    if (!TexteUnique(args, texte)) return;
    ApCourrier& courrier = G_Courrier(app);
    ExigerDocument(courrier);
    courrier.InsertText(texte, false, nullptr);
  });
}

void KUP_BibleRecupererRTF(App& app, Args&) {
  Pieger(app, "KUP_BibleRecupererRTF", [&] {
    ApCourrier& courrier = G_Courrier(app);
    ExigerDocument(courrier);
    const ControleEchecs echecs(courrier);
    std::string selection = courrier.SelectionToRTF();
    if (echecs.echoue()) return;  // reported by the driver
    RenvoyerReponse(app, {"KUP_BibleRecupererRTF", selection, "", ""});
  });
}

void KUP_BibleRecupererTexte(App& app, Args&) {
  Pieger(app, "KUP_BibleRecupererTexte", [&] {
    ApCourrier& courrier = G_Courrier(app);
    ExigerDocument(courrier);
    const ControleEchecs echecs(courrier);
    std::string selection = courrier.SelectionToText();
    if (echecs.echoue()) return;  // reported by the driver
    RenvoyerReponse(app, {"KUP_BibleRecupererTexte", selection, "", ""});
  });
}

void RegisterMdl_BibleExterne(CommandTable& table) {
  table.add("KUP_BibleInitialiser", KUP_BibleInitialiser);
  table.add("KUP_ArticleEditerDebut", KUP_ArticleEditerDebut);
  table.add("KUP_ArticleEditer", KUP_ArticleEditer);
  table.add("KUP_ArticleEditerFin", KUP_ArticleEditerFin);
  table.add("KUP_PieceEditerDebut", KUP_PieceEditerDebut);
  table.add("KUP_PieceEditer", KUP_PieceEditer);
  table.add("KUP_PieceEditerFin", KUP_PieceEditerFin);
  table.add("KUP_ArticleIntegrer", KUP_ArticleIntegrer);
  table.add("KUP_ArticleIntegrerSuivant", KUP_ArticleIntegrerSuivant);
  table.add("KUP_PieceIntegrer", KUP_PieceIntegrer);
  table.add("KUP_PieceIntegrerSuivante", KUP_PieceIntegrerSuivante);
  table.add("KUP_BibleEntrer", KUP_BibleEntrer);
  table.add("KUP_BibleSortir", KUP_BibleSortir);
  table.add("KUP_Dimensionner", KUP_Dimensionner);
  table.add("KUP_BibleInsererRTF", KUP_BibleInsererRTF);
  table.add("KUP_BibleInsererTexte", KUP_BibleInsererTexte);
  table.add("KUP_BibleRecupererRTF", KUP_BibleRecupererRTF);
  table.add("KUP_BibleRecupererTexte", KUP_BibleRecupererTexte);
}

}  // namespace kup
