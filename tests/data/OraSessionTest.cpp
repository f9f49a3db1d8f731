// The Oracle session over the fake database, and the logon commands.
#include <gtest/gtest.h>

#include "TestApp.h"
#include "core/Core.h"
#include "core/Dispatcher.h"
#include "data/ApOraSession.h"
#include "data/FakeOraBackend.h"

using kup::ApOraSession;
using kup::FakeOraCall;
using kup::FakeOraDatabase;
using kup::Value;
namespace ora = kup::ora;

namespace {

struct SessionTest : ::testing::Test {
  TestApp t;
  std::shared_ptr<FakeOraDatabase> db = std::make_shared<FakeOraDatabase>();

  std::shared_ptr<ApOraSession> connect() {
    auto s = std::make_shared<ApOraSession>(t.app, std::make_unique<kup::FakeOraBackend>(db));
    s->logon("BASE", "u", "p");
    return s;
  }
  bool reported(const std::string& source, int number, const std::string& description) {
    auto xml = kup::sInvokeXML("KUP_ErreurContainer", {source, std::to_string(number), description});
    for (const auto& c : t.flash.calls)
      if (c == xml) return true;
    return false;
  }
  void reply(kup::Args args) {
    t.flash.clear();
    kup::Connexion(t.app, args, kup::FakeOraFactory(db));
  }
};

TEST_F(SessionTest, BindsInOrderRunsOneBlockAndReadsResults) {
  db->addProcedure("PK_RAP_HTML.FUSIONNERHTML", [](FakeOraCall& c) {
    c.out("fic_res", "<p>" + kup::CStr(c.in("fic_html")) + "|" + kup::CStr(c.in("LIST_IDENT")) + "</p>");
    c.out("fic_html", "relu");
    c.out("coderr", Value::null());
  });
  auto s = connect();
  ASSERT_TRUE(s->bInitParameters("PK_RAP_HTML.FUSIONNERHTML"));
  EXPECT_TRUE(s->bAddParameters("fic_html", ora::ParamInputOutput, ora::TypeClob, "<p>modèle</p>", true));
  EXPECT_TRUE(s->bAddParameters("LIST_IDENT", ora::ParamInput, ora::TypeVarchar, "12;13", true));
  EXPECT_TRUE(s->bAddParameters("fic_res", ora::ParamInputOutput, ora::TypeClob, " ", true));
  EXPECT_TRUE(s->bAddParameters("coderr", ora::ParamOutput, ora::TypeVarchar, Value::null(), true));
  EXPECT_TRUE(s->bAddParameters("liberr", ora::ParamOutput, ora::TypeVarchar, Value::null(), true));
  EXPECT_TRUE(s->bExecuteSQL("PK_RAP_HTML.FUSIONNERHTML"));

  ASSERT_EQ(db->executed.size(), 1u);
  EXPECT_EQ(db->executed[0].block,
            "begin PK_RAP_HTML.FUSIONNERHTML(:fic_html,:LIST_IDENT,:fic_res,:coderr,:liberr); end;");
  EXPECT_EQ(db->executed[0].inValues["fic_html"], Value("<p>modèle</p>"));
  EXPECT_EQ(db->executed[0].inValues["fic_res"], Value(" "));
  EXPECT_TRUE(db->executed[0].inValues["coderr"].isNull());

  EXPECT_EQ(s->vParameterValue("FIC_RES"), Value("<p><p>modèle</p>|12;13</p>"));  // CLOB, names without case
  EXPECT_EQ(s->vParameterValue("fic_html"), Value("relu"));
  EXPECT_TRUE(s->vParameterValue("coderr").isNull());
  EXPECT_TRUE(s->vParameterValue("liberr").isNull());  // never set by the procedure
  EXPECT_THROW(s->vParameterValue("absent"), kup::VbError);

  // The next call forgets the parameters and frees the temporary CLOBs.
  EXPECT_EQ(db->liveTemporaryLobs(), 2u);
  EXPECT_TRUE(s->bInitParameters("P"));
  EXPECT_EQ(db->liveTemporaryLobs(), 0u);
  EXPECT_TRUE(s->parameters().empty());
  db->addProcedure("P", [](FakeOraCall&) {});
  EXPECT_TRUE(s->bExecuteSQL("P"));
  EXPECT_EQ(db->executed.back().block, "begin P; end;");
}

TEST_F(SessionTest, DatabaseFailuresAreReportedUnderBExecuteSQL) {
  db->addProcedure("PK_X.FAIL", [](FakeOraCall& c) { c.fail(20001, "ORA-20001: dossier verrouillé"); });
  auto s = connect();
  s->bInitParameters("PK_X.FAIL");
  EXPECT_FALSE(s->bExecuteSQL("PK_X.FAIL"));
  EXPECT_TRUE(reported("bExecuteSQL", 20001, "ORA-20001: dossier verrouillé"));
  EXPECT_FALSE(s->bExecuteSQL("PK_X.ABSENT"));
  EXPECT_TRUE(reported("bExecuteSQL", 6550, "ORA-06550: PLS-00201: l'identificateur 'PK_X.ABSENT' doit être déclaré"));

  // Names become part of the statement: anything but an identifier is refused.
  EXPECT_FALSE(s->bAddParameters("a); drop table x; --", ora::ParamInput, ora::TypeVarchar, "v", false));
  EXPECT_FALSE(s->bAddParameters("ok", 4, ora::TypeVarchar, "v", false));
  EXPECT_FALSE(s->bAddParameters("ok", ora::ParamInput, 1, "v", false));
  EXPECT_TRUE(s->bAddParameters("ok", ora::ParamInput, ora::TypeVarchar, "v", false));
  EXPECT_FALSE(s->bAddParameters("OK", ora::ParamInput, ora::TypeVarchar, "v", false));  // already bound
  size_t before = db->executed.size();
  EXPECT_FALSE(s->bExecuteSQL("P; delete from t"));
  EXPECT_EQ(db->executed.size(), before);
}

TEST_F(SessionTest, ALostConnectionGetsOneReconnectionWhenAsked) {
  db->addProcedure("P", [](FakeOraCall&) {});
  auto s = connect();
  s->bInitParameters("P");
  db->dropConnection();
  EXPECT_TRUE(s->bAddParameters("a", ora::ParamInput, ora::TypeVarchar, "1", true));
  EXPECT_EQ(db->reconnects, 1);
  EXPECT_TRUE(s->bExecuteSQL("P"));

  db->dropConnection();
  db->reconnectFails = true;
  s->bInitParameters("P");
  EXPECT_FALSE(s->bAddParameters("a", ora::ParamInput, ora::TypeVarchar, "1", true));
  EXPECT_TRUE(reported("bAddParameters", 12541, "ORA-12541: TNS : pas de processus d'écoute"));
  // One attempt per call: the other parameters do not wait for the server
  // again, and what fails for want of it is not reported a second time.
  EXPECT_TRUE(s->bAddParameters("b", ora::ParamInput, ora::TypeVarchar, "2", true));
  EXPECT_FALSE(s->bAddParameters("c", ora::ParamInput, ora::TypeClob, "3", true));
  EXPECT_EQ(db->reconnects, 2);
  EXPECT_FALSE(s->bExecuteSQL("P"));  // not connected: false, no crash
  EXPECT_EQ(t.flash.calls.size(), 1u);
  // The next call is offered its own reconnection.
  db->reconnectFails = false;
  s->bInitParameters("P");
  EXPECT_TRUE(s->bAddParameters("a", ora::ParamInput, ora::TypeVarchar, "1", true));
  EXPECT_EQ(db->reconnects, 3);
  EXPECT_TRUE(s->bExecuteSQL("P"));
  // A call without parameters gets the same attempt.
  db->dropConnection();
  s->bInitParameters("P");
  EXPECT_TRUE(s->bExecuteSQL("P"));
  EXPECT_EQ(db->reconnects, 4);
}

TEST_F(SessionTest, ConnexionAnswersAndSetsTheSessionOnlyWhenLoggedOn) {
  auto table = std::make_shared<kup::CommandTable>();
  kup::RegisterMdl_Connexion(*table, kup::FakeOraFactory(db));
  t.app.commands = table;
  kup::Args base{Value("PROD")};
  table->find("KUP_ChaineSQL")->operator()(t.app, base);
  EXPECT_EQ(t.app.G_ChaineSQL, "PROD");
  EXPECT_EQ(t.flash.returnValue(), kup::sSetReturnValueXML({"KUP_ChaineSQL", "", ""}));

  EXPECT_EQ(t.app.G_OraSession, nullptr);
  reply({Value("dupont"), Value("secret")});
  EXPECT_EQ(t.flash.returnValue(), kup::sSetReturnValueXML({"Connexion", "", ""}));
  ASSERT_NE(t.app.G_OraSession, nullptr);
  EXPECT_EQ(db->database, "PROD");
  EXPECT_EQ(db->user, "dupont");
  EXPECT_EQ(db->password, "secret");

  // A refused logon answers -1 and the server's message, and leaves no session.
  db->refuse(1017, "ORA-01017: nom utilisateur/mot de passe non valide ; connexion refusée");
  reply({Value("dupont"), Value("faux")});
  EXPECT_EQ(t.flash.returnValue(),
            kup::sSetReturnValueXML({"Connexion", "-1", "ORA-01017: nom utilisateur/mot de passe non valide ; connexion refusée"}));
  EXPECT_EQ(t.app.G_OraSession, nullptr);
  EXPECT_EQ(db->logoffs, 1);  // the earlier session was closed

  // No name of its own: the single-sign-on credentials.
  db->onLogon = nullptr;
  t.app.G_UtilisateurUnique = "sso";
  t.app.G_MotDePasseUnique = "jeton";
  reply({Value(""), Value("")});
  EXPECT_EQ(db->user, "sso");
  EXPECT_EQ(db->password, "jeton");

  // A backend failing outside its own error convention still gets the answer.
  db->onLogon = [](const std::string&, const std::string&, const std::string&) {
    throw std::runtime_error("bibliothèque cliente absente");
  };
  reply({Value("dupont"), Value("secret")});
  EXPECT_EQ(t.flash.returnValue(), kup::sSetReturnValueXML({"Connexion", "-1", "bibliothèque cliente absente"}));
  EXPECT_EQ(t.app.G_OraSession, nullptr);

  // No database access in this build.
  t.flash.clear();
  kup::Args args{Value("u"), Value("p")};
  kup::Connexion(t.app, args, nullptr);
  EXPECT_EQ(t.flash.returnValue(),
            kup::sSetReturnValueXML({"Connexion", "-1", "Aucun accès à la base de données n'est disponible sur ce poste"}));
  EXPECT_EQ(t.app.G_OraSession, nullptr);
}

}  // namespace
