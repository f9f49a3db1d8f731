#pragma once
// The UNO side of the LibreOffice twins: SDK headers, the headers generated
// by cppumaker, small conversions and the office's inner state. Only the
// sources of this folder include it.
#include <sal/config.h>

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "office/DriverSupport.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

#include "vb/VbError.h"
#include "office/lo/LibreOffice.h"

namespace kup::lo {

namespace uno = ::com::sun::star::uno;
namespace beans = ::com::sun::star::beans;
using uno::Any;
using uno::Reference;
using uno::Sequence;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;

// UTF-8 <-> UNO strings.
rtl::OUString U(std::string_view utf8);
std::string S(const rtl::OUString& s);
// file:// URL of a host path (spaces, "#", "%" and non-ASCII names escaped).
rtl::OUString FileUrl(const std::string& hostPath);

beans::PropertyValue Prop(const char* name, const Any& value);
Sequence<beans::PropertyValue> Props(const std::vector<beans::PropertyValue>& props);

template <class T, class X>
Reference<T> Q(const Reference<X>& x) {
  return Reference<T>(x, UNO_QUERY_THROW);
}
template <class T>
Reference<T> Q(const Any& a) {
  return Reference<T>(a, UNO_QUERY_THROW);
}


// What a twin's operation sees of the office.
struct Session {
  Reference<uno::XComponentContext> ctx;
  Reference<::com::sun::star::frame::XDesktop2> desktop;
  int generation = 0;
};

// Runs jobs one after the other on a thread of its own; the caller waits
// with a deadline. A job that overruns it keeps the thread: the worker is
// then abandoned (detached) once the office has been killed under it.
class Worker {
 public:
  struct Job {
    std::function<void()> fn;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::exception_ptr error;
  };
  Worker();
  ~Worker();
  std::shared_ptr<Job> post(std::function<void()> fn);
  // True when the job is done; false at the deadline, or as soon as `stop`
  // holds (checked whenever the job's condition is notified).
  bool wait(const std::shared_ptr<Job>& job, int timeoutMs, const std::function<bool()>& stop = {});
  void abandon();

 private:
  struct Shared {
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::shared_ptr<Job>> queue;
    bool stop = false;
  };
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

struct Office::Impl {
  explicit Impl(OfficeOptions o);

  OfficeOptions opt;
  std::recursive_mutex mutex;  // one caller at a time
  std::unique_ptr<Worker> worker;
  Session session;
  bool connected = false;
  long pid = 0;
  int generation = 0;
  int lastExit = -1;           // exit status of the last process that ended
  int documentsOpened = 0;     // by the drivers, since the office started
  // How many documents of each template this office made: the second and
  // later of one template are numbered in their titles (titleFor).
  std::map<std::string, int> madeFromTemplate;
  std::string titleFor(const std::string& templateName);

  // The reaper: a thread per running office that waits for its end, takes
  // what the office started along, reaps it at once (no zombie) and wakes
  // the caller waiting for a job. What it found is read on the caller's side.
  struct Reaper {
    std::mutex m;                  // held while the process is signalled or reaped
    bool ended = false;            // the process has ended and was reaped
    std::atomic<bool> endedFlag{false};
    std::string how;               // "code N" or "signal N"
    int status = -1;
    std::shared_ptr<Worker::Job> waiting;  // the job a caller waits for
    std::thread thread;
  };
  std::unique_ptr<Reaper> reaper;
  bool killedHere = false;  // the end was ours (its reason already logged)
  void watch(long processId);
  bool ended();             // the reaper saw the process end
  void waitEnd(int timeoutMs);
  void noteEnd();           // the process ended: log it once, forget it
  std::string profileDir;      // host path, made once per object
  std::string pipeName;
  bool shuttingDown = false;

  // Documents: the text document the word processor counts as active
  // (CloseDocument(False)), and those no twin holds any more, closed
  // beyond a few so that a long session does not pile them up.
  Reference<::com::sun::star::lang::XComponent> activeText;
  std::deque<Reference<::com::sun::star::lang::XComponent>> released;

  // Runs fn on the worker within the time-out (0: the call time-out). UNO
  // failures come back as VbError; an office that died or hung as 462.
  void call(const std::function<void(Session&)>& fn, int timeoutMs = 0);
  void start();
  bool alive();
  // Under mutex: alive() itself. A ping that fails at once (the bridge is
  // down) is an office ending, told from one that does not answer in time.
  bool officeAnswers();
  // Waits for a job of the worker; gives up as soon as the office ends.
  bool waitJob(const std::shared_ptr<Worker::Job>& job, int timeoutMs);
  bool ping();  // the office answers a trivial call within the ping time-out
  // Desktop mode. Inside a job: shows a document to the person, maximised
  // and in front (or minimised, ready for them). Outside jobs: the liveness question asked beside a busy
  // worker; the wait of a call that the person holds up (false: the office
  // is to be killed); the titles of the documents the person modified; the
  // end of a session that waits for them unless the person lets them go.
  void showDocument(const Reference<::com::sun::star::lang::XComponent>& doc, bool minimised = false);
  bool sidePing();
  bool waitForPerson(const std::shared_ptr<Worker::Job>& job);
  std::vector<std::string> modifiedShownDocuments();
  void keepPersonsWork();
  void shutdown();

  // Called inside jobs.
  void noteActive(const Reference<::com::sun::star::lang::XComponent>& doc);
  void noteReleased(const Reference<::com::sun::star::lang::XComponent>& doc);
  void noteClosed(const Reference<::com::sun::star::lang::XComponent>& doc);
  // Inside a job: loads url hidden, with macros off. A load that fails or
  // gives nothing raises 75 naming `path` and `what` ("document",
  // "classeur"); a UNO run-time failure goes up as it is.
  Reference<::com::sun::star::lang::XComponent> loadHidden(Session& s, const ::rtl::OUString& url,
                                                           std::vector<::com::sun::star::beans::PropertyValue> args,
                                                           const std::string& path, const char* what);
  // Inside a job: closes a document, whatever it answers.
  static void closeQuietly(const Reference<::com::sun::star::lang::XComponent>& doc);

  // A twin letting go of its document of generation `docGeneration`: while
  // that office still runs, the document goes to the released ones and
  // `drop` runs on the worker; `drop` runs again here in any case.
  void releaseDocument(int docGeneration, const Reference<::com::sun::star::lang::XComponent>& doc,
                       const std::function<void()>& drop);

  // Process bookkeeping (any thread, under mutex).
  bool processRunning();
  void killProcess(const char* why);
  void removePipes();
  void log(const std::string& text);
  void trace(const std::string& text);
};

// A document whose window the person can see (desktop mode).
bool ShownToPerson(const Reference<::com::sun::star::lang::XComponent>& doc);

// Error texts shared by the twins.
extern const char* const kOfficeGone;   // 462
extern const char* const kNoDocument;   // 4248, the word processor
extern const char* const kNoWorkbook;   // 91, the spreadsheet

// Raises the VbError that stands for the UNO exception being handled
// (called from a catch block).
[[noreturn]] void RaiseUno();
// The text of an office exception for a message: without the place in the
// office's sources where it was raised. Inside a call, the full text goes
// to the debug trace of the caller.
std::string UnoMessage(const uno::Exception& e);
std::string WithoutSourceLocation(const std::string& message);

// The office writes while it opens a document too (its temporary copies go
// to TMPDIR, TEMP or TMP, else /tmp). When one of `folders`, or of those
// temporary folders, has no room left, raises 61 "Disque plein" saying that
// `what` failed for want of room there; does nothing otherwise. Called when
// an office operation has failed, to tell a full disk from a bad file.
void RaiseIfNoRoom(const std::string& what, const std::vector<std::string>& folders = {});
// The folder of a host path ("." for a bare name).
std::string FolderOf(const std::string& hostPath);

}  // namespace kup::lo
