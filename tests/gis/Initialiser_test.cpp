// Partners built from the settings and the link initialisation.
#include <gtest/gtest.h>

#include "GisTestApp.h"
#include "core/Core.h"
#include "vb/VbString.h"

namespace {
std::vector<std::string> Cles(GisTestApp& t) {
  std::vector<std::string> out;
  for (auto& [k, _] : kup::Gis(t.app).G_ColPartenaires->items()) out.push_back(k);
  return out;
}
std::vector<int> Controles(GisTestApp& t) {
  std::vector<int> out;
  for (auto& [i, _] : t.app.KUP_MDI.Txt_DDE) out.push_back(i);
  return out;
}
}  // namespace

TEST(Initialiser, DefaultSettings) {
  GisTestApp t;
  t.initialiser();
  EXPECT_EQ(Cles(t), (std::vector<std::string>{"NEW", "KUPV3", "DODI2"}));
  EXPECT_EQ(t.app.KUP_MDI.LinkTopic, "ZEDERA");
  EXPECT_EQ(t.app.KUP_MDI.LinkMode, 1);
  EXPECT_EQ(t.dde->sourceApplication, "Korvane");
  EXPECT_EQ(t.dde->sourceTopic, "ZEDERA");
  EXPECT_EQ(t.dde->sourceMode, 1);
  EXPECT_EQ(Controles(t), (std::vector<int>{0, 1, 2, 3}));

  auto gis = t.partenaire("new");  // keys without regard to case
  EXPECT_EQ(gis->DDEAppli(), "");
  EXPECT_EQ(gis->DDETopic(), "");
  EXPECT_EQ(gis->DDEExe(), "");
  EXPECT_EQ(gis->DDETimeOut(), 0);
  EXPECT_EQ(gis->DDEctl(), 1);
  EXPECT_EQ(gis->DDEDpt() + gis->DDECommune() + gis->DDEPrefixe() + gis->DDESection() + gis->DDENumero(), "");
  EXPECT_FALSE(gis->DDEAppelEnCours());

  auto kup = t.partenaire("KUPV3");
  EXPECT_EQ(kup->DDEAppli(), "Korvane");
  EXPECT_EQ(kup->DDEctl(), 2);
  EXPECT_EQ(kup->DDEDpt(), "XX");
  EXPECT_EQ(kup->DDESepDptCom(), "X");
  EXPECT_EQ(kup->DDECommune(), "XXX");
  EXPECT_EQ(kup->DDEPrefixe(), "   ");
  EXPECT_EQ(kup->DDESection(), "BB");
  EXPECT_EQ(kup->DDENumero(), "XXXX");

  auto dodi = t.partenaire("DODI2");
  EXPECT_EQ(dodi->DDEctl(), 3);
  EXPECT_EQ(dodi->DDEDpt(), "XX");
  EXPECT_EQ(dodi->DDECommune(), "XXX");
  EXPECT_EQ(dodi->DDESepComPref(), "#");
  EXPECT_EQ(dodi->DDESepDptCom() + dodi->DDEPrefixe() + dodi->DDESepPrefSec() + dodi->DDESection() +
                dodi->DDESepSecNum() + dodi->DDENumero(),
            "");
  // Nothing is connected by the initialisation.
  EXPECT_TRUE(t.dde->connects.empty());
}

TEST(Initialiser, SettingsReachThePartners) {
  GisTestApp t;
  t.configurerSig("C:\\SIG\\sig.exe -dde");
  t.set("DDE_CLIENT", "REF_PREFIX", "XXX");
  t.set("DDE_CLIENT", "REF_SEPPREFSEC", " ");
  t.set("DDE_CLIENT", "REF_SECTION", "XX");
  t.set("DDE_CLIENT", "REF_NUMERO", "XXXX");
  t.set("DDE_CLIENT", "REF_SEPDPTCOM", "-");
  t.set("DDE_CLIENT", "REF_SEPSECNUM", "/");
  t.initialiser();
  auto gis = t.partenaire("NEW");
  EXPECT_EQ(gis->DDEAppli(), "Carte SIG");
  EXPECT_EQ(gis->DDEExe(), "C:\\SIG\\sig.exe -dde");
  EXPECT_EQ(gis->Controle(t.app).linkTopic(), "SIG|CARTO");
  EXPECT_EQ(gis->Controle(t.app).linkMode(), 0);
  EXPECT_EQ(gis->DDESepComPref(), "-");
  EXPECT_EQ(gis->DDENumero(), "XXXXX");
  auto dodi = t.partenaire("DODI2");
  EXPECT_EQ(dodi->DDESepDptCom(), "-");
  EXPECT_EQ(dodi->DDEPrefixe(), "XXX");
  EXPECT_EQ(dodi->DDESepPrefSec(), " ");
  EXPECT_EQ(dodi->DDESection(), "XX");
  EXPECT_EQ(dodi->DDESepSecNum(), "/");
  EXPECT_EQ(dodi->DDENumero(), "XXXX");
}

TEST(Initialiser, DelayRoundsHalvesToEven) {
  for (auto [texte, attendu] : std::vector<std::pair<std::string, int>>{
           {"12.5", 12}, {"13.5", 14}, {" 7 ", 7}, {"abc", 0}, {"", 0}, {"25x", 25}}) {
    GisTestApp t;
    t.set("DDE_NEW", "SIG_DELAI", texte);
    t.initialiser();
    EXPECT_EQ(t.partenaire("NEW")->DDETimeOut(), attendu) << texte;
  }
}

TEST(Initialiser, EveryCallRebuildsOneSetOfControlsAndMovesTheTopic) {
  GisTestApp t;
  t.initialiser();
  auto ancien = t.partenaire("NEW");
  t.set("DDE_NEW", "KUP_TOPIC", "CADASTRE");
  t.initialiser();
  EXPECT_EQ(Controles(t), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(Cles(t), (std::vector<std::string>{"NEW", "KUPV3", "DODI2"}));
  EXPECT_NE(t.partenaire("NEW"), ancien);
  EXPECT_EQ(t.app.KUP_MDI.LinkTopic, "CADASTRE");
  EXPECT_EQ(t.dde->sourceTopic, "CADASTRE");
  EXPECT_EQ(t.dde->sourceCalls, 2);
}

TEST(Initialiser, RunByTheSettingsCommandWhenModeIsTwo) {
  GisTestApp t;
  ASSERT_TRUE(t.app.hooks.DDE_Initialiser);
  // One settings record: fields 4, 5 and 8 are section, key and value.
  auto record = [](const std::string& s, const std::string& k, const std::string& v) {
    std::vector<std::string> f(9);
    f[4] = s;
    f[5] = k;
    f[8] = v;
    return kup::Join(f, kup::Sep240());
  };
  kup::Args args{kup::Value(record("DDE", "MODE", "1") + kup::Sep241() + record("DDE_NEW", "KUP_TOPIC", "T1"))};
  kup::KUP_Parametres(t.app, args);
  EXPECT_EQ(t.dde->sourceCalls, 0);
  args = {kup::Value(record("DDE", "MODE", "2") + kup::Sep241() + record("DDE_NEW", "KUP_TOPIC", "T2"))};
  kup::KUP_Parametres(t.app, args);
  EXPECT_EQ(t.dde->sourceTopic, "T2");
  kup::KUP_Parametres(t.app, args);
  EXPECT_EQ(t.dde->sourceCalls, 2);
}

TEST(Initialiser, FailureLeavesTheMainWindowAsItWasAndTheNextCallStartsClean) {
  GisTestApp t;
  t.initialiser();
  t.set("DDE_NEW", "KUP_TOPIC", "AUTRE");
  t.set("DDE_NEW", "SIG_DELAI", "1e12");  // no 32-bit time-out
  try {
    kup::DDE_Initialiser(t.app);
    ADD_FAILURE() << "no error";
  } catch (const kup::VbError& e) {
    EXPECT_EQ(e.number(), kup::vberr::Overflow);
  }
  EXPECT_EQ(t.app.KUP_MDI.LinkTopic, "ZEDERA");
  EXPECT_EQ(t.dde->sourceTopic, "ZEDERA");
  EXPECT_EQ(Controles(t), (std::vector<int>{0, 1}));  // NEW's control, without its partner
  // The old partners went with their controls.
  EXPECT_TRUE(Cles(t).empty());
  EXPECT_THROW(t.commande("SIG_NomDossierCadrer", {kup::Value("D")}), kup::VbError);

  t.set("DDE_NEW", "SIG_DELAI", "5");
  t.initialiser();
  EXPECT_EQ(Controles(t), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(Cles(t), (std::vector<std::string>{"NEW", "KUPV3", "DODI2"}));
  EXPECT_EQ(t.partenaire("NEW")->DDETimeOut(), 5);
  EXPECT_EQ(t.dde->sourceTopic, "AUTRE");
}
