#pragma once
// HTML reports and sheets: lists of the HTML templates, the merge of a
// template with the database's data, and the temporary pages it writes.
#include <cstdint>
#include <string>

#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

void KUP_RapportHtmlLister(App& app, Args& args);
void KUP_FicheHtmlLister(App& app, Args& args);
void KUP_FicheHtmlOuvrir(App& app, Args& args);
// Deletes the temporary pages of the program, whichever session wrote them.
void KUP_RapportHtmlNettoyer(App& app, Args& args);
// The HTML letter route (a letter template whose name ends with .html/.htm).
void KUP_Courrier_Edite(App& app, Args& args);

// Merges the template named by argument 0 with the identifier list of
// argument 1 through PK_RAP_HTML.FUSIONNERHTML, writes the page and opens
// it in the given mode.
void sub_FusionnerHtml(App& app, const std::string& replyName, Args& args, int16_t mode);

// Writes the text (and CR LF) in Windows-1252 to a new temporary ".html"
// page and returns its name (no folder).
std::string sEcrireHtmlTemp(App& app, const std::string& text);

void RegisterMdl_Html(CommandTable& table);

}  // namespace kup
