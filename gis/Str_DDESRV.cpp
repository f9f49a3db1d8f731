#include "gis/Str_DDESRV.h"

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "gis/DDE_Client.h"
#include "gis/GisState.h"

namespace kup {

namespace {
constexpr const char* kConnecter = "DDESRV_Connecter : L'application ";
constexpr const char* kExecuter = "DDESRV_Executer : L'application ";
}  // namespace

std::string Str_DDESRV::DDEDirect() const { return CStr(Value(m_DDEDirect)); }

void Str_DDESRV::DDEDirect(const std::string& valeur) { m_DDEDirect = CBool(Value(valeur)); }

platform::IDdeLink& Str_DDESRV::Controle(App& app) const {
  auto it = app.KUP_MDI.Txt_DDE.find(m_DDEctl);
  if (it == app.KUP_MDI.Txt_DDE.end() || !it->second) raise(vberr::ObjectVariableNotSet);
  return *it->second;
}

std::string Str_DDESRV::TopicControle(App& app) const {
  auto it = app.KUP_MDI.Txt_DDE.find(m_DDEctl);
  if (it == app.KUP_MDI.Txt_DDE.end() || !it->second) return {};
  return it->second->linkTopic();
}

int32_t Str_DDESRV::DDESRV_Connecter(App& app) {
  int essai = 0;
  for (;;) {
    try {
      Controle(app).setLinkMode(2);
      if (m_DDEIdAppli == 0) m_DDEIdAppli = static_cast<int32_t>(lTrouverFenetre(app, m_DDEAppli));
      return 1;
    } catch (const VbError& e) {
      if (e.number() != vberr::DdeNoForeignApp) {
        MsgBoxCritique(app, kConnecter + m_DDEAppli + "  ne répond pas à la connection " + TopicControle(app));
        return 0;
      }
    } catch (const std::exception&) {
      MsgBoxCritique(app, kConnecter + m_DDEAppli + "  ne répond pas à la connection " + TopicControle(app));
      return 0;
    }
    // Nobody answered on the topic: is the program there at all?
    m_DDEIdAppli = static_cast<int32_t>(lTrouverFenetre(app, m_DDEAppli));
    if (m_DDEIdAppli != 0) {
      MsgBoxCritique(app, kConnecter + m_DDEAppli + "  ne répond pas à la connection " + TopicControle(app));
      return 0;
    }
    if (m_DDEExe.empty()) {
      MsgBoxCritique(app, kConnecter + m_DDEAppli + "  n'est pas active.");
      return 0;
    }
    ++essai;
    long lance = 0;
    if (essai == 1) {
      try {
        lance = LancerProgramme(app, m_DDEExe, "");
      } catch (const std::exception&) {
        lance = 0;
      }
    }
    if (lance <= 0) {
      MsgBoxCritique(app, kConnecter + m_DDEAppli + " ne s'active pas.");
      return 0;
    }
    // Ready for input, for a DDE partner, is its topic being open: give it
    // a bounded while before trying again.
    if (app.pf.dde) app.pf.dde->waitForServer(TopicControle(app), Gis(app).delaiDemarrageMs);
  }
}

int32_t Str_DDESRV::DDESRV_Deconnecter(App& app) {
  try {
    Controle(app).setLinkMode(0);
    return 1;
  } catch (const std::exception&) {
    return 0;
  }
}

int32_t Str_DDESRV::DDESRV_ActiverApplication(App& app) {
  if (m_DDEIdAppli > 0) sub_AfficherFenetre(app, m_DDEIdAppli);
  return 0;
}

int32_t Str_DDESRV::DDESRV_Executer(App& app, const std::string& cmd, bool timeout, bool avecactivation) {
  DebugKUP(app, "DDESRV_Executer", cmd, Args{Value("")});
  int numero = 0;
  try {
    auto& ctl = Controle(app);
    // The control takes a 16-bit time-out: a larger one raises 6 here.
    ctl.setLinkTimeout(timeout ? m_DDETimeOut : 0);
    ctl.linkExecute(cmd);
    if (avecactivation) DDESRV_ActiverApplication(app);
    return 1;
  } catch (const VbError& e) {
    numero = e.number();
  } catch (const std::exception&) {
    return 0;
  }
  switch (numero) {
    case vberr::DdeNoChannel:
      // The link is not open yet (or the partner went away): connect, then
      // one more try, whose failures are handled more quietly.
      if (DDESRV_Connecter(app) == 0) return 0;
      try {
        Controle(app).linkExecute(cmd);
        if (avecactivation) DDESRV_ActiverApplication(app);
        return 1;
      } catch (const VbError& e) {
        if (e.number() == vberr::DdeRefused)
          MsgBoxCritique(app, kExecuter + m_DDEAppli + "  ne répond pas au à la connection " + TopicControle(app));
        else if (e.number() == vberr::DdeTimeout && timeout)
          MsgBoxCritique(app, "DDESRV_Executer : délai de la commande " + cmd + " expiré.");
        return 0;
      } catch (const std::exception&) {
        return 0;
      }
    case vberr::DdeRefused:
      MsgBoxCritique(app, kExecuter + m_DDEAppli + "  ne répond pas au à la connection " + TopicControle(app));
      return 0;
    case vberr::DdeTimeout:
      if (timeout)
        MsgBoxCritique(app, "DDESRV_Executer : délai de la commande " + cmd + " expiré.");
      else if (avecactivation)
        DDESRV_ActiverApplication(app);
      return 0;
    default:
      return 0;
  }
}

// ------------------------------------------------------------------ collection

void ColPartenaires::Add(std::shared_ptr<Str_DDESRV> item, const std::string& cle) {
  if (Find(cle)) raise(457, "Cette clé est déjà associée à un élément de cette collection");
  items_.emplace_back(cle, std::move(item));
}

std::shared_ptr<Str_DDESRV> ColPartenaires::Find(const std::string& cle) const {
  for (auto& [k, v] : items_)
    if (EqualsNoCase(k, cle)) return v;
  return nullptr;
}

std::shared_ptr<Str_DDESRV> ColPartenaires::Item(const std::string& cle) const {
  auto p = Find(cle);
  if (!p) raise(vberr::InvalidCall);
  return p;
}

}  // namespace kup
