#pragma once
// One DDE partner: how to reach it (application, topic, program to start,
// link control, time-out) and the layout of the parcel reference it speaks.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/App.h"
#include "platform/Dde.h"

namespace kup {

class Str_DDESRV {
 public:
  virtual ~Str_DDESRV() = default;

  // DDEDirect travels as text ("Vrai"/"Faux"); the set converts it to a flag.
  virtual std::string DDEDirect() const;
  virtual void DDEDirect(const std::string& valeur);

  virtual const std::string& DDENumero() const { return m_DDENumero; }
  virtual void DDENumero(std::string v) { m_DDENumero = std::move(v); }
  virtual const std::string& DDESepSecNum() const { return m_DDESepSecNum; }
  virtual void DDESepSecNum(std::string v) { m_DDESepSecNum = std::move(v); }
  virtual const std::string& DDESection() const { return m_DDESection; }
  virtual void DDESection(std::string v) { m_DDESection = std::move(v); }
  virtual const std::string& DDESepPrefSec() const { return m_DDESepPrefSec; }
  virtual void DDESepPrefSec(std::string v) { m_DDESepPrefSec = std::move(v); }
  virtual const std::string& DDEPrefixe() const { return m_DDEPrefixe; }
  virtual void DDEPrefixe(std::string v) { m_DDEPrefixe = std::move(v); }
  virtual const std::string& DDESepComPref() const { return m_DDESepComPref; }
  virtual void DDESepComPref(std::string v) { m_DDESepComPref = std::move(v); }
  virtual const std::string& DDESepDptCom() const { return m_DDESepDptCom; }
  virtual void DDESepDptCom(std::string v) { m_DDESepDptCom = std::move(v); }
  virtual const std::string& DDECommune() const { return m_DDECommune; }
  virtual void DDECommune(std::string v) { m_DDECommune = std::move(v); }
  virtual const std::string& DDEDpt() const { return m_DDEDpt; }
  virtual void DDEDpt(std::string v) { m_DDEDpt = std::move(v); }
  virtual const std::string& DDEAppli() const { return m_DDEAppli; }
  virtual void DDEAppli(std::string v) { m_DDEAppli = std::move(v); }
  virtual const std::string& DDEExe() const { return m_DDEExe; }
  virtual void DDEExe(std::string v) { m_DDEExe = std::move(v); }
  virtual const std::string& DDETopic() const { return m_DDETopic; }
  virtual void DDETopic(std::string v) { m_DDETopic = std::move(v); }

  // The link control, designated by its index in KUP_MDI.Txt_DDE (-1:
  // none), so that a partner never holds on to an unloaded control.
  virtual int DDEctl() const { return m_DDEctl; }
  virtual void DDEctl(int index) { m_DDEctl = index; }

  virtual int32_t DDEIdAppli() const { return m_DDEIdAppli; }
  virtual void DDEIdAppli(int32_t v) { m_DDEIdAppli = v; }
  virtual int32_t DDETimeOut() const { return m_DDETimeOut; }
  virtual void DDETimeOut(int32_t v) { m_DDETimeOut = v; }

  virtual bool DDEAppelEnCours() const { return m_DDEAppelEnCours; }
  virtual void DDEAppelEnCours(bool v) { m_DDEAppelEnCours = v; }

  // 1 when the link is open; 0 after a failure already shown to the user.
  virtual int32_t DDESRV_Connecter(App& app);
  // 1, or 0 when closing failed (nothing shown).
  virtual int32_t DDESRV_Deconnecter(App& app);
  // 1 when sent and acknowledged, 0 otherwise. timeout: wait for the
  // partner's answer up to DDETimeOut; avecactivation: bring the partner's
  // window up afterwards.
  virtual int32_t DDESRV_Executer(App& app, const std::string& cmd, bool timeout, bool avecactivation);
  // Hides and restores the partner's window when its handle is known; 0.
  virtual int32_t DDESRV_ActiverApplication(App& app);

  // The control DDEctl designates; raises 91 when it is not loaded.
  platform::IDdeLink& Controle(App& app) const;

 private:
  std::string TopicControle(App& app) const;

  std::string m_DDEAppli;
  std::string m_DDEExe;
  std::string m_DDETopic;
  int m_DDEctl = -1;
  int32_t m_DDEIdAppli = 0;
  std::string m_DDEDpt;
  std::string m_DDECommune;
  std::string m_DDESepDptCom;
  std::string m_DDESepComPref;
  std::string m_DDEPrefixe;
  std::string m_DDESepPrefSec;
  std::string m_DDESection;
  std::string m_DDESepSecNum;
  std::string m_DDENumero;
  bool m_DDEDirect = false;
  bool m_DDEAppelEnCours = false;
  int32_t m_DDETimeOut = 0;
};

// The partners keyed by name (without regard to case), in the order added.
class ColPartenaires {
 public:
  // Raises 457 when the key is already present (the first item stays).
  void Add(std::shared_ptr<Str_DDESRV> item, const std::string& cle);
  // Raises 5 when absent.
  std::shared_ptr<Str_DDESRV> Item(const std::string& cle) const;
  std::shared_ptr<Str_DDESRV> Find(const std::string& cle) const;
  long Count() const { return static_cast<long>(items_.size()); }
  const std::vector<std::pair<std::string, std::shared_ptr<Str_DDESRV>>>& items() const { return items_; }

 private:
  std::vector<std::pair<std::string, std::shared_ptr<Str_DDESRV>>> items_;
};

}  // namespace kup
