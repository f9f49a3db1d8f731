#include <gtest/gtest.h>

#include "vb/VbError.h"
#include "platform/FakeCommonDialog.h"
#include "platform/FakeLog.h"
#include "platform/FakeMessageBox.h"
#include "platform/RealHeadlessUi.h"

using namespace kup::platform;

TEST(MessageBoxes, HeadlessAnswersNeverLoop) {
  EXPECT_EQ(mb::HeadlessAnswer(mb::OKOnly | mb::Critical), mb::OK);
  EXPECT_EQ(mb::HeadlessAnswer(mb::OKCancel), mb::OK);
  EXPECT_EQ(mb::HeadlessAnswer(mb::OKCancel | mb::DefaultButton2), mb::Cancel);
  EXPECT_EQ(mb::HeadlessAnswer(mb::YesNo | mb::Question), mb::Yes);
  EXPECT_EQ(mb::HeadlessAnswer(mb::YesNo | mb::DefaultButton2), mb::No);
  EXPECT_EQ(mb::HeadlessAnswer(mb::YesNoCancel | mb::DefaultButton3), mb::Cancel);
  EXPECT_EQ(mb::HeadlessAnswer(mb::YesNo | mb::DefaultButton3), mb::Yes);  // no third button
  EXPECT_EQ(mb::HeadlessAnswer(mb::RetryCancel), mb::Cancel);
  EXPECT_EQ(mb::HeadlessAnswer(mb::AbortRetryIgnore | mb::DefaultButton2), mb::Abort);

  FakeLog log;
  RealMessageBox box(&log);
  EXPECT_EQ(box.show("Le fichier est ouvert.", mb::RetryCancel | mb::Exclamation, "Courrier"), mb::Cancel);
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0].first, "msgbox");
  EXPECT_EQ(log.entries[0].second, "Courrier | Le fichier est ouvert. | Réessayer/Annuler -> Annuler");

  FakeMessageBox fake;
  fake.answers.push_back(mb::No);
  EXPECT_EQ(fake.show("a", mb::YesNo, "t"), mb::No);
  EXPECT_EQ(fake.show("b", mb::YesNo, "t"), mb::Yes);
  ASSERT_EQ(fake.boxes.size(), 2u);
  EXPECT_EQ(fake.boxes[1].prompt, "b");
}

TEST(CommonDialogs, HeadlessCancelsOrTakesTheScriptedAnswer) {
  FakeLog log;
  std::string answer;
  RealCommonDialog d(&log, [&](const std::string& name) { return name == "KUP_DIALOG_ANSWER" ? answer : ""; });
  d.state.FileName = "ancien.dot";
  d.ShowOpen();
  EXPECT_EQ(d.state.FileName, "");
  d.state.CancelError = true;
  try {
    d.ShowSave();
    ADD_FAILURE() << "no error raised";
  } catch (const kup::VbError& e) {
    EXPECT_EQ(e.number(), 32755);
  }
  EXPECT_THROW(d.ShowPrinter(), kup::VbError);
  answer = "C:\\Modeles\\choisi.dot";
  d.ShowOpen();
  EXPECT_EQ(d.state.FileName, "C:\\Modeles\\choisi.dot");
  EXPECT_GE(log.lines("dialog").size(), 4u);

  FakeCommonDialog f;
  f.answerFile("C:\\a.dot");
  f.state.DialogTitle = "Choix";
  f.ShowOpen();
  EXPECT_EQ(f.state.FileName, "C:\\a.dot");
  f.state.CancelError = true;
  EXPECT_THROW(f.ShowOpen(), kup::VbError);
  f.answerPrinter("HP", 2);
  f.ShowPrinter();
  EXPECT_EQ(f.state.PrinterName, "HP");
  EXPECT_EQ(f.state.Copies, 2);
  ASSERT_EQ(f.shown.size(), 3u);
  EXPECT_EQ(f.shown[0].state.DialogTitle, "Choix");
  EXPECT_EQ(f.shown[2].kind, "printer");
}
