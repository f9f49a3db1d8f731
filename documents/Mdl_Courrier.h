#pragma once
// Letters: the template list, the opening of a template in the word
// processor, the template and printer dialogs, the waiting-letters screen,
// and the merge of the values the Flex interface sends into the open
// template (open, attach, mail, print, deferred printing), with the map
// pictures the GIS returns.
#include <string>

#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// ---- templates and dialogs
void KUP_CourrierListeModele(App& app, Args& args);
void KUP_CourrierInitialiser(App& app, Args& args);
void KUP_CourrierChoixModele(App& app, Args& args);  // deferred: answers by a call into the player
void KUP_ChoixImprimante(App& app, Args& args);      // deferred: answers nothing
void KUP_CourrierAttenteLister(App& app, Args& args);
void KUP_CourrierAttenteImprimer(App& app, Args& args);

// ---- values and merge
void KUP_CourrierMajSignets(App& app, Args& args);        // command KUP_CourrierValeursSignets
void KUP_CourrierMajValeursChamps(App& app, Args& args);  // command KUP_CourrierValeursChamps
// KUP_CourrierOuvrir (attach false) and KUP_CourrierAttacher (attach true).
void KUP_CourrierOuvrir(App& app, Args& args, bool attach);
void KUP_CourrierMail(App& app, Args& args);
void KUP_CourrierImprimer(App& app, Args& args);
void KUP_CourrierImpressionDifferee(App& app, Args& args);
void Retour_SIG_FusionCartoParcelle(App& app, Args& args);

// The five letter actions, told apart by the command name. The request
// (at least eight arguments) is grown in place by the attachment values.
void sub_CourrierFusionner(App& app, const std::string& commandName, Args& request, bool attach);

void RegisterMdl_Courrier(CommandTable& table);

}  // namespace kup
