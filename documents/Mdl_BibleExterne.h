#pragma once
// Text libraries (standard decree articles and standard document pieces)
// revised in the word processor: the library document written item by item,
// read back one item at a time, the main window turned into a small panel
// above the word processor while the user works, and single texts exchanged
// with the word processor as RTF or plain text.
//
// Layout of a library document, top to bottom:
//   the header table (seven titles, for the user's eye only)
//   the begin marker line
//   per item: the item marker line, a one-row table of the item's fields,
//             the item's body (RTF for articles, plain text for pieces)
//   the end marker
// The read-back relies on the markers being lines of their own and on each
// row holding nine cells (articles) or seven (pieces).
#include <string>

#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// Body formats of the item writer and the reader: the rich-text clipboard
// format number for RTF; anything else is plain text.
constexpr int kBibleFormatRTF = -16639;
constexpr int kBibleFormatTexte = 1;

// ---- writing a library
void KUP_BibleInitialiser(App& app, Args& args);  // a new empty document; no reply
void KUP_ArticleEditerDebut(App& app, Args& args);
void KUP_ArticleEditer(App& app, Args& args);  // nine fields, then the RTF body
void KUP_ArticleEditerFin(App& app, Args& args);
void KUP_PieceEditerDebut(App& app, Args& args);
void KUP_PieceEditer(App& app, Args& args);  // seven fields, then the text body
void KUP_PieceEditerFin(App& app, Args& args);
// Writes one item: its marker line, the row of every argument but the last,
// and the last argument as body. Reports its own failures and returns.
void KUP_BibleArticlePieceEditer(App& app, const Args& args, const std::string& itemMarker, int bodyFormat);

// ---- reading a library back
void KUP_ArticleIntegrer(App& app, Args& args);
void KUP_ArticleIntegrerSuivant(App& app, Args& args);
void KUP_PieceIntegrer(App& app, Args& args);
void KUP_PieceIntegrerSuivante(App& app, Args& args);
// Answers the next item after the cursor (or the first of the document) in
// a reply of count + 1 slots, or "KUP_IntegrerFin" when none is left.
void KUP_BibleArticlePieceIntegrer(App& app, const std::string& replyName, int count, const std::string& itemMarker,
                                   bool fromDocumentStart, int bodyFormat, const std::string& beginMarker,
                                   const std::string& endMarker);

// ---- the library panel (main window KUP_MDI; sizes in pixels)
void KUP_BibleEntrer(App& app, Args& args);
void KUP_BibleSortir(App& app, Args& args);
void KUP_Dimensionner(App& app, Args& args);

// ---- single texts exchanged with the word processor
void KUP_BibleInsererRTF(App& app, Args& args);
void KUP_BibleInsererTexte(App& app, Args& args);
void KUP_BibleRecupererRTF(App& app, Args& args);
void KUP_BibleRecupererTexte(App& app, Args& args);

void RegisterMdl_BibleExterne(CommandTable& table);

}  // namespace kup
