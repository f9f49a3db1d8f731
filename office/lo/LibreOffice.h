#pragma once
// The LibreOffice twins of the two office drivers: one office process per
// container process, started by the container itself on first use, headless,
// with a profile of its own, reached through UNO over a named pipe.
//
//   editor type 4      OpenOffice Writer and Calc, in their own formats
//   editor types 2, 3  the Microsoft editors: the same engine working in the
//                      Word and Excel formats (.dot/.dotx, .xlt/.xltx)
//
// Supervision: every UNO call runs on one worker thread of the office and the
// caller waits for it with a deadline. A call that overruns it means a hung
// office: the process group is killed (SIGKILL), which also frees the worker,
// and the caller gets error 462 as for a word processor the user closed. A
// crashed or killed office is seen the same way at the next call. The office
// comes back at the next connect (OpenEditor / OpenCalc); its documents are
// gone then. No office outlives the object that started it: shutdown kills
// it, reaps it and removes its profile; the process is also started with a
// parent-death signal so that a container killed outright takes it along.
//
// In desktop mode (OfficeOptions::visible) the office is started with its
// windows; the loads stay hidden, and a document is shown, maximised and in
// front, when the driver shows the word processor or spreadsheet to the
// person. See OfficeOptions::visible for what is never killed then.
//
// No UNO type appears here: the twins' callers need no SDK.
#include <functional>
#include <memory>
#include <string>

#include "office/CalcTwin.h"
#include "office/WordTwin.h"

namespace kup {
struct App;
}

namespace kup::lo {

struct OfficeOptions {
  // The office program (soffice.bin, started directly: its launcher would
  // stand between us and the process we supervise).
  std::string program;
  // Folder that receives the temporary profile ("" = $TMPDIR or /tmp).
  std::string tempRoot;
  int startTimeoutMs = 60000;  // from the start of the process to a working connection
  int callTimeoutMs = 60000;   // one operation of a twin
  int pingTimeoutMs = 5000;    // the liveness question
  // The office grows a little with every document it opens, freed only
  // when it ends: after this many documents it is ended between two
  // requests, once no driver holds a document of it, and the next document
  // starts a fresh one (0: never).
  int recycleAfterDocuments = 300;
  // Where supervision events go (start, restart, kill); may be empty.
  std::function<void(const std::string&)> log;
  // The debug trace: the office's own texts of the failures of a call, in
  // full (the error's description leaves out where in the office's sources
  // it was raised); may be empty.
  std::function<void(const std::string&)> trace;

  // Desktop mode: the office has windows, and the documents handed to the
  // person for editing are shown. A person's unsaved work is then never
  // thrown away unasked: a call that waits on the person (a dialog of the
  // office) is not a hang while the office answers its liveness question,
  // and the end of the session waits for documents the person modified.
  bool visible = false;
  // Asks the person (true: go ahead and lose the changes). Without it the
  // answer is no.
  std::function<bool(const std::string& question)> askDiscard;
  // Desktop mode: said when a call starts (true) and stops (false) waiting
  // on the person (the application then puts its busy indicator aside and
  // hears its partners), and run every few tens of milliseconds by the
  // waiting caller meanwhile. Either may be empty.
  std::function<void(bool)> personWaits;
  std::function<void()> meanwhile;

  // Defaults, overridden by KUP_SOFFICE, KUP_OFFICE_START_TIMEOUT_MS,
  // KUP_OFFICE_CALL_TIMEOUT_MS, KUP_OFFICE_RECYCLE_DOCUMENTS and
  // KUP_OFFICE_VISIBLE (1: visible, set by korvane in desktop mode).
  static OfficeOptions FromEnvironment();
};

// For as long as it lives, the call under way waits on the person
// (OfficeOptions::personWaits).
class WaitingForPerson {
 public:
  explicit WaitingForPerson(const OfficeOptions& o) : say_(o.personWaits) {
    if (say_) say_(true);
  }
  ~WaitingForPerson() {
    if (say_) say_(false);
  }
  WaitingForPerson(const WaitingForPerson&) = delete;
  WaitingForPerson& operator=(const WaitingForPerson&) = delete;

 private:
  const std::function<void(bool)>& say_;
};

class Office {
 public:
  explicit Office(OfficeOptions options = OfficeOptions::FromEnvironment());
  ~Office();  // shutdown()
  Office(const Office&) = delete;
  Office& operator=(const Office&) = delete;

  // Starts the office when it is not running (or no longer answers). Raises
  // VbError 429 when it cannot be started within the start time-out.
  void start();
  // True while the process runs and answers within the ping time-out; a
  // hung office is killed here.
  bool alive();
  // Ends the office (kill, reap), removes its pipes and its profile. The
  // object can start a new one afterwards.
  void shutdown();

  long pid() const;        // 0 when no process
  // The documents the office holds open (0 when it does not run).
  int openDocuments();
  // Ends the office when it has opened recycleAfterDocuments documents and
  // none of those still open is held by a driver; true when it did. Run
  // between two requests (InstallLibreOfficeTwins does so after each).
  bool recycleIfDue();
  std::string profileFolder() const;  // host path of its profile, "" before the first start
  int generation() const;  // counts the starts; documents belong to one generation
  const OfficeOptions& options() const;

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// What containers that ended without their shut-down (crash, SIGKILL) left
// behind, found by the names this layer gives: their office if it still
// runs, its pipes, its profile under tempRoot ("" = $TMPDIR or /tmp). Done
// by the first start of every process. An office with windows is the
// person's once its container is gone: kept, with its pipe and profile,
// until it ends.
void SweepLeftovers(const std::string& tempRoot = {});

// Twin factories over one office (shared by the word processor and the
// spreadsheet). They make twins for editor types 2, 3 and 4 only.
WordTwinFactory LibreOfficeWordTwinFactory(std::shared_ptr<Office> office);
CalcTwinFactory LibreOfficeCalcTwinFactory(std::shared_ptr<Office> office);

// The Excel version text the Microsoft editor types answer: the environment
// variable KUP_EXCEL_VERSION, else "16.0".
std::string ExcelVersionText(App& app);

}  // namespace kup::lo

namespace kup {
// Puts the LibreOffice twins behind both drivers of the application (editor
// types 2, 3, 4), and ends the office at the unload hook. Called from
// InstallModules.
void InstallLibreOfficeTwins(App& app);
}  // namespace kup
