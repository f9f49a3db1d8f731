// The supervised office process and its UNO connection.
#include "office/lo/Uno.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>

#include <com/sun/star/awt/XTopWindow2.hpp>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/ConnectionSetupException.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <osl/file.hxx>
#include <rtl/digest.h>

#include "vb/VbString.h"

extern char** environ;

namespace kup::lo {

namespace css = ::com::sun::star;

const char* const kOfficeGone = "Le serveur distant n'existe pas ou n'est pas disponible";
const char* const kNoDocument = "Cette commande n'est pas disponible parce qu'aucun document n'est ouvert.";
const char* const kNoWorkbook = "Variable objet ou variable de bloc With non définie";

namespace {

constexpr int kGraceMs = 10000;   // how long a killed office may take to free the worker
constexpr int kReleasedKept = 4;  // documents nobody holds that stay open

// The local UNO runtime of the process. It is made once and kept for the
// life of the process: tearing it down while bridge threads may still run
// is what crashes UNO clients at exit.
Reference<uno::XComponentContext> LocalContext() {
  static std::once_flag once;
  static Reference<uno::XComponentContext>* context = nullptr;
  static std::string failure;
  std::call_once(once, [] {
    // Without it the bootstrap crashes inside UNO instead of failing.
    ::setenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" KUP_LO_PROGRAM_DIR "/fundamentalrc", 1);
    try {
      context = new Reference<uno::XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
    } catch (const uno::Exception& e) {
      failure = WithoutSourceLocation(S(e.Message));
    }
  });
  if (!context || !context->is())
    raise(vberr::CantCreateObject, "Un composant ActiveX ne peut pas créer d'objet (UNO : " + failure + ")");
  return *context;
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  long n = std::strtol(v, &end, 10);
  return (end && *end == 0 && n > 0 && n < 24L * 3600 * 1000) ? static_cast<int>(n) : fallback;
}

std::string TempRoot(const OfficeOptions& opt) {
  if (!opt.tempRoot.empty()) return opt.tempRoot;
  return EnvOr("TMPDIR", "/tmp");
}

// The name under which the office publishes its single-instance pipe: an
// MD5 of the profile URL in UTF-16, each byte in hexadecimal without padding.
std::string SingleInstancePipe(const rtl::OUString& profileUrl) {
  sal_uInt8 digest[RTL_DIGEST_LENGTH_MD5];
  rtl_digest_MD5(profileUrl.getStr(), static_cast<sal_uInt32>(profileUrl.getLength() * sizeof(sal_Unicode)), digest,
                 RTL_DIGEST_LENGTH_MD5);
  std::string hex;
  char buf[4];
  for (sal_uInt8 b : digest) {
    std::snprintf(buf, sizeof buf, "%x", b);
    hex += buf;
  }
  return "SingleOfficeIPC_" + hex;
}

std::string PipePath(const std::string& name) { return "/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_" + name; }

// Starts the office with an argument vector: its own process group (so that
// everything it starts goes down with it), no shell, our descriptors closed,
// output into its profile folder. With setpriv at hand the process also
// gets SIGKILL when the thread that started it (the worker, which lives as
// long as the office) goes away, container crash included; not an office
// with windows (tied false), which may hold the person's work when the
// container is ended at once.
long Spawn(const std::vector<std::string>& args, const std::string& logPath, bool tied) {
  std::vector<std::string> argv;
  static const bool havePdeathsig = ::access("/usr/bin/setpriv", X_OK) == 0;
  if (havePdeathsig && tied) argv = {"/usr/bin/setpriv", "--pdeathsig", "KILL", "--"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e)
    if (std::strncmp(*e, "URE_BOOTSTRAP=", 14) != 0) env.emplace_back(*e);
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&fa, 3);
#endif
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, cargv[0], &fa, &attr, cargv.data(), cenv.data());
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return 0;
  return pid;
}

// The profile starts with the settings a supervised office needs: no
// thumbnail rendered into every saved file (most of the time of a save), no
// recovery data or autosave of documents nobody will recover, French.
void SeedProfile(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir + "/user", ec);
  std::ofstream out(dir + "/user/registrymodifications.xcu", std::ios::binary | std::ios::trunc);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
         "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
         "<item oor:path=\"/org.openoffice.Office.Common/Save/Document\"><prop oor:name=\"GenerateThumbnail\" "
         "oor:op=\"fuse\"><value>false</value></prop></item>\n"
         "<item oor:path=\"/org.openoffice.Office.Common/Save/Document\"><prop oor:name=\"CreateBackup\" "
         "oor:op=\"fuse\"><value>false</value></prop></item>\n"
         "<item oor:path=\"/org.openoffice.Office.Recovery/RecoveryInfo\"><prop oor:name=\"Enabled\" "
         "oor:op=\"fuse\"><value>false</value></prop></item>\n"
         "<item oor:path=\"/org.openoffice.Office.Recovery/AutoSave\"><prop oor:name=\"Enabled\" "
         "oor:op=\"fuse\"><value>false</value></prop></item>\n"
         // The clerks are French, whatever the machine's LANG: the office's
         // menus and dialogs, and the language new text is checked in.
         "<item oor:path=\"/org.openoffice.Office.Linguistic/General\"><prop oor:name=\"UILocale\" "
         "oor:op=\"fuse\"><value>fr-FR</value></prop></item>\n"
         "<item oor:path=\"/org.openoffice.Setup/L10N\"><prop oor:name=\"ooLocale\" "
         "oor:op=\"fuse\"><value>fr-FR</value></prop></item>\n"
         "<item oor:path=\"/org.openoffice.Office.Linguistic/General\"><prop oor:name=\"DefaultLocale\" "
         "oor:op=\"fuse\"><value>fr-FR</value></prop></item>\n"
         // A letter keeps its merge fields: printing it is printing it, not
         // the office's own mail merge, which it would otherwise offer.
         "<item oor:path=\"/org.openoffice.Office.Writer/FormLetter/PrintOutput\"><prop oor:name=\"AskForMerge\" "
         "oor:op=\"fuse\"><value>false</value></prop></item>\n"
         "</oor:items>\n";
}

bool ProcessGone(long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// The pid of the container that named a profile "kup-lo-<pid>-<n>" or a pipe
// "kup_lo_<pid>_...", 0 when the name is not one of ours.
long OwnerOf(const std::string& name, const std::string& prefix) {
  if (name.rfind(prefix, 0) != 0) return 0;
  size_t i = prefix.size(), j = i;
  while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j]))) ++j;
  if (j == i || j >= name.size() || (name[j] != '-' && name[j] != '_')) return 0;
  return std::stol(name.substr(i, j - i));
}

}  // namespace

void SweepLeftovers(const std::string& tempRootOrEmpty) {
  std::string tempRoot = tempRootOrEmpty.empty() ? EnvOr("TMPDIR", "/tmp") : tempRootOrEmpty;
  {
    std::error_code ec;
    // An office with windows outlives its container on purpose (it may hold
    // the person's unsaved letter): it is the person's to close, so it is
    // neither killed nor robbed of its pipe and profile while it runs.
    std::set<long> keptOwners;
    for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
      std::ifstream in(e.path() / "cmdline", std::ios::binary);
      std::string cmd((std::istreambuf_iterator<char>(in)), {});
      size_t at = cmd.find("--accept=pipe,name=kup_lo_");
      if (at == std::string::npos || cmd.find("soffice") == std::string::npos) continue;
      long owner = OwnerOf(cmd.substr(at + 19), "kup_lo_");
      if (owner <= 0 || !ProcessGone(owner)) continue;
      if (cmd.find("--headless") == std::string::npos) {
        keptOwners.insert(owner);
        continue;
      }
      pid_t office = static_cast<pid_t>(std::stol(e.path().filename().string()));
      ::kill(-office, SIGKILL);  // the group it leads, when it was started as ours
      ::kill(office, SIGKILL);
    }
    const std::string pipePrefix = "OSL_PIPE_" + std::to_string(::getuid()) + "_kup_lo_";
    for (const auto& e : std::filesystem::directory_iterator("/tmp", ec)) {
      std::string name = e.path().filename().string();
      long owner = OwnerOf(name, pipePrefix);
      if (owner > 0 && ProcessGone(owner) && !keptOwners.count(owner)) ::unlink(e.path().c_str());
    }
    for (const auto& e : std::filesystem::directory_iterator(tempRoot, ec)) {
      std::string name = e.path().filename().string();
      long owner = OwnerOf(name, "kup-lo-");
      if (owner <= 0 || !ProcessGone(owner) || keptOwners.count(owner) || !e.is_directory()) continue;
      try {
        ::unlink(PipePath(SingleInstancePipe(FileUrl(e.path().string()))).c_str());
      } catch (...) {
      }
      std::filesystem::remove_all(e.path(), ec);
    }
  }
}

namespace {

// The full messages of the office met by the job running on this thread,
// for the debug trace of its caller.
thread_local std::vector<std::string>* tracedMessages = nullptr;

}  // namespace

std::string WithoutSourceLocation(const std::string& message) {
  // "... at ./sw/source/core/unocore/unocoll.cxx:1615", or that alone when
  // the office raised an exception without a text.
  static const std::regex where(R"((^|\s+)at \S+/\S+:\d+)");
  return Trim(std::regex_replace(message, where, ""));
}

std::string UnoMessage(const uno::Exception& e) {
  std::string full = S(e.Message);
  std::string shown = WithoutSourceLocation(full);
  if (shown != Trim(full) && tracedMessages) tracedMessages->push_back(full);
  return shown;
}


// ---------------------------------------------------------------- helpers

rtl::OUString U(std::string_view utf8) {
  return rtl::OUString(utf8.data(), static_cast<sal_Int32>(utf8.size()), RTL_TEXTENCODING_UTF8);
}

std::string S(const rtl::OUString& s) { return std::string(rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8).getStr()); }

rtl::OUString FileUrl(const std::string& hostPath) {
  rtl::OUString url;
  // A relative path is taken from the process's current folder.
  std::error_code ec;
  std::string absolute = hostPath;
  if (!hostPath.empty() && hostPath[0] != '/') absolute = std::filesystem::absolute(hostPath, ec).string();
  if (ec || osl::FileBase::getFileURLFromSystemPath(U(absolute), url) != osl::FileBase::E_None)
    raise(vberr::BadFileName, "Nom de fichier incorrect : " + hostPath);
  return url;
}

beans::PropertyValue Prop(const char* name, const Any& value) {
  beans::PropertyValue p;
  p.Name = rtl::OUString::createFromAscii(name);
  p.Value = value;
  return p;
}

Sequence<beans::PropertyValue> Props(const std::vector<beans::PropertyValue>& props) {
  return Sequence<beans::PropertyValue>(props.data(), static_cast<sal_Int32>(props.size()));
}

void RaiseUno() {
  auto with = [](const uno::Exception& e, const std::string& base) {
    std::string msg = UnoMessage(e);
    return msg.empty() ? base : base + " (" + msg + ")";
  };
  try {
    throw;
  } catch (const css::io::IOException& e) {
    raise(vberr::PathFileAccess, with(e, "Erreur d'accès au chemin/fichier"));
  } catch (const css::lang::IllegalArgumentException& e) {
    raise(vberr::InvalidCall, with(e, "Argument ou appel de procédure incorrect"));
  } catch (const css::lang::IndexOutOfBoundsException& e) {
    raise(vberr::SubscriptOutOfRange, with(e, "L'indice n'appartient pas à la sélection"));
  } catch (const css::container::NoSuchElementException& e) {
    raise(vberr::SubscriptOutOfRange, with(e, "L'indice n'appartient pas à la sélection"));
  } catch (const uno::Exception& e) {
    raise(1004, with(e, "Erreur définie par l'application ou par l'objet"));
  }
}

void RaiseIfNoRoom(const std::string& what, const std::vector<std::string>& folders) {
  // Less than this left is no room: a document and its temporary copies
  // take more.
  constexpr unsigned long long kRoom = 1024 * 1024;
  std::vector<std::string> all = folders;
  for (const char* name : {"TMPDIR", "TEMP", "TMP"})
    if (const char* v = std::getenv(name); v && *v == '/') all.emplace_back(v);
  all.emplace_back("/tmp");
  for (const auto& folder : all) {
    struct statvfs st {};
    if (folder.empty() || ::statvfs(folder.c_str(), &st) != 0) continue;
    if (static_cast<unsigned long long>(st.f_bavail) * st.f_frsize < kRoom)
      raise(vberr::DiskFull, what + " : plus de place pour écrire dans " + folder + " (disque plein)");
  }
}

std::string FolderOf(const std::string& hostPath) {
  auto slash = hostPath.rfind('/');
  return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : hostPath.substr(0, slash);
}

OfficeOptions OfficeOptions::FromEnvironment() {
  OfficeOptions o;
  o.program = EnvOr("KUP_SOFFICE", KUP_LO_PROGRAM_DIR "/soffice.bin");
  o.startTimeoutMs = EnvInt("KUP_OFFICE_START_TIMEOUT_MS", o.startTimeoutMs);
  o.callTimeoutMs = EnvInt("KUP_OFFICE_CALL_TIMEOUT_MS", o.callTimeoutMs);
  const char* recycle = std::getenv("KUP_OFFICE_RECYCLE_DOCUMENTS");
  if (recycle && std::string(recycle) == "0")
    o.recycleAfterDocuments = 0;
  else
    o.recycleAfterDocuments = EnvInt("KUP_OFFICE_RECYCLE_DOCUMENTS", o.recycleAfterDocuments);
  o.visible = EnvOr("KUP_OFFICE_VISIBLE", "") == "1";
  return o;
}

// ---------------------------------------------------------------- worker

Worker::Worker() : shared_(std::make_shared<Shared>()) {
  auto sh = shared_;
  thread_ = std::thread([sh] {
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock lk(sh->m);
        sh->cv.wait(lk, [&] { return sh->stop || !sh->queue.empty(); });
        if (sh->queue.empty()) return;
        job = sh->queue.front();
        sh->queue.pop_front();
      }
      try {
        job->fn();
      } catch (...) {
        job->error = std::current_exception();
      }
      job->fn = nullptr;
      std::lock_guard lk(job->m);
      job->done = true;
      job->cv.notify_all();
    }
  });
}

Worker::~Worker() {
  {
    std::lock_guard lk(shared_->m);
    shared_->stop = true;
  }
  shared_->cv.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::shared_ptr<Worker::Job> Worker::post(std::function<void()> fn) {
  auto job = std::make_shared<Job>();
  job->fn = std::move(fn);
  {
    std::lock_guard lk(shared_->m);
    shared_->queue.push_back(job);
  }
  shared_->cv.notify_all();
  return job;
}

bool Worker::wait(const std::shared_ptr<Job>& job, int timeoutMs, const std::function<bool()>& stop) {
  std::unique_lock lk(job->m);
  job->cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return job->done || (stop && stop()); });
  return job->done;
}

void Worker::abandon() {
  {
    std::lock_guard lk(shared_->m);
    shared_->stop = true;
    shared_->queue.clear();
  }
  shared_->cv.notify_all();
  if (thread_.joinable()) thread_.detach();
}

// ---------------------------------------------------------------- office

Office::Impl::Impl(OfficeOptions o) : opt(std::move(o)) {
  if (opt.program.empty()) opt.program = KUP_LO_PROGRAM_DIR "/soffice.bin";
}

void Office::Impl::log(const std::string& text) {
  if (opt.log && !shuttingDown) {
    try {
      opt.log(text);
    } catch (...) {
    }
  }
}

void Office::Impl::trace(const std::string& text) {
  if (opt.trace) {
    try {
      opt.trace(text);
    } catch (...) {
    }
  }
}

void Office::Impl::watch(long processId) {
  reaper = std::make_unique<Reaper>();
  Reaper* r = reaper.get();
  r->thread = std::thread([r, processId] {
    const pid_t p = static_cast<pid_t>(processId);
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(p), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    std::shared_ptr<Worker::Job> job;
    {
      std::lock_guard lk(r->m);
      // Not reaped yet, so its number is still its own: what it started
      // goes down with it, and nothing else can be hit.
      ::kill(-p, SIGKILL);
      int status = 0;
      if (::waitpid(p, &status, 0) == p)
        r->how = WIFEXITED(status) ? "code " + std::to_string(WEXITSTATUS(status))
                                   : "signal " + std::to_string(WTERMSIG(status));
      else
        r->how = "fin non constatée";
      r->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      r->ended = true;
      r->endedFlag = true;
      job = r->waiting;
    }
    if (job) {
      std::lock_guard jl(job->m);
      job->cv.notify_all();
    }
  });
}

bool Office::Impl::ended() { return reaper && reaper->endedFlag; }

void Office::Impl::waitEnd(int timeoutMs) {
  for (int waited = 0; reaper && !reaper->endedFlag && waited < timeoutMs; waited += 5)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void Office::Impl::noteEnd() {
  if (reaper) {
    if (reaper->thread.joinable()) reaper->thread.join();
    lastExit = reaper->status;
    if (!killedHere) log("LibreOffice s'est arrêté (" + reaper->how + "), processus " + std::to_string(pid));
    reaper.reset();
  }
  killedHere = false;
  pid = 0;
  connected = false;
  removePipes();
}

bool Office::Impl::processRunning() {
  if (pid <= 0) return false;
  if (reaper) {
    if (!reaper->endedFlag) return true;
    noteEnd();
    return false;
  }
  int status = 0;
  pid_t r = ::waitpid(static_cast<pid_t>(pid), &status, WNOHANG);
  if (r == 0) return true;
  if (r == static_cast<pid_t>(pid)) {
    lastExit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  } else if (::kill(static_cast<pid_t>(pid), 0) == 0) {
    return true;  // not ours to wait for (reaped elsewhere): alive while it exists
  }
  pid = 0;
  connected = false;
  return false;
}

void Office::Impl::killProcess(const char* why) {
  if (reaper) {
    {
      std::lock_guard lk(reaper->m);
      if (!reaper->ended) {
        log(std::string("LibreOffice arrêté (") + why + "), processus " + std::to_string(pid));
        killedHere = true;
        ::kill(-static_cast<pid_t>(pid), SIGKILL);
        ::kill(static_cast<pid_t>(pid), SIGKILL);
      }
    }
    waitEnd(5000);
    if (reaper->endedFlag) {
      noteEnd();
    } else {
      // A process that does not die even of SIGKILL: its watcher is left to it.
      reaper->thread.detach();
      (void)reaper.release();
    }
  } else if (pid > 0) {
    log(std::string("LibreOffice arrêté (") + why + "), processus " + std::to_string(pid));
    ::kill(-static_cast<pid_t>(pid), SIGKILL);
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    for (int i = 0; i < 500 && processRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid = 0;
  connected = false;
  removePipes();
}

void Office::Impl::removePipes() {
  if (!pipeName.empty()) ::unlink(PipePath(pipeName).c_str());
  if (!profileDir.empty()) {
    try {
      ::unlink(PipePath(SingleInstancePipe(FileUrl(profileDir))).c_str());
    } catch (...) {
    }
  }
}

void Office::Impl::call(const std::function<void(Session&)>& fn, int timeoutMs) {
  std::lock_guard lk(mutex);
  if (!connected || !processRunning() || !worker) {
    if (pid > 0 || connected) killProcess("processus disparu");
    raise(462, kOfficeGone);
  }
  int limit = timeoutMs > 0 ? timeoutMs : opt.callTimeoutMs;
  // The job only records what kind of failure it met; whether the office
  // itself is gone is decided here, on the caller's side, once it is over.
  auto bridgeTrouble = std::make_shared<std::atomic<bool>>(false);
  // Written by the worker, read once the job is over.
  auto traced = std::make_shared<std::vector<std::string>>();
  auto job = worker->post([this, &fn, bridgeTrouble, traced] {
    tracedMessages = traced.get();
    struct Unset {
      ~Unset() { tracedMessages = nullptr; }
    } unset;
    try {
      fn(session);
    } catch (const css::lang::DisposedException&) {
      // The bridge went down, or the object (a document) was closed.
      *bridgeTrouble = true;
      raise(vberr::ObjectVariableNotSet, kNoWorkbook);
    } catch (const css::uno::RuntimeException&) {
      *bridgeTrouble = true;
      RaiseUno();
    } catch (const css::uno::Exception&) {
      RaiseUno();
    }
  });
  bool done = waitJob(job, limit);
  if (!done && opt.visible && !ended()) done = waitForPerson(job);
  if (!done && ended()) {
    // The office ended under the call (its bridge may not have noticed):
    // an ended office, not one that does not answer.
    processRunning();
    if (!worker->wait(job, kGraceMs)) {
      worker->abandon();
      worker.reset();
    }
    raise(462, kOfficeGone);
  }
  if (!done) {
    // A call that never returns: the office hangs. Killing it closes the
    // bridge, which ends the pending call with an exception.
    killProcess("ne répond plus");
    if (!worker->wait(job, kGraceMs)) {
      log("LibreOffice : appel UNO toujours bloqué après l'arrêt du processus, fil abandonné");
      worker->abandon();
      worker.reset();
    }
    raise(462, std::string(kOfficeGone) + " (aucune réponse en " + std::to_string(limit / 1000) +
                   " s, LibreOffice arrêté)");
  }
  if (job->error) {
    for (const auto& message : *traced) trace(message);
    if (*bridgeTrouble && !officeAnswers()) raise(462, kOfficeGone);
    std::rethrow_exception(job->error);
  }
}

bool Office::Impl::waitJob(const std::shared_ptr<Worker::Job>& job, int timeoutMs) {
  if (reaper) {
    std::lock_guard rl(reaper->m);
    reaper->waiting = job;
  }
  bool done = false;
  if (!opt.meanwhile) {
    done = worker->wait(job, timeoutMs, [this] { return ended(); });
  } else {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
      done = worker->wait(job, static_cast<int>(std::clamp<long long>(left, 0, 20)), [this] { return ended(); });
      if (done || left <= 0 || ended()) break;
      opt.meanwhile();
    }
  }
  if (reaper) {
    std::lock_guard rl(reaper->m);
    reaper->waiting.reset();
  }
  return done;
}

bool Office::Impl::ping() {
  if (!worker) return false;
  auto ok = std::make_shared<std::atomic<bool>>(false);
  auto job = worker->post([this, ok] {
    try {
      Q<css::lang::XServiceInfo>(session.desktop)->getImplementationName();
      *ok = true;
    } catch (...) {
    }
  });
  if (!waitJob(job, opt.pingTimeoutMs)) {
    if (ended()) {
      processRunning();  // it ended meanwhile: noted as such
      if (!worker->wait(job, kGraceMs)) {
        worker->abandon();
        worker.reset();
      }
      return false;
    }
    killProcess("ne répond plus");
    if (!worker->wait(job, kGraceMs)) {
      worker->abandon();
      worker.reset();
    }
    return false;
  }
  return *ok;
}

bool Office::Impl::officeAnswers() {
  if (!connected || !processRunning()) return false;
  if (ping()) return true;
  if (!connected) return false;  // it did not answer in time and was killed
  // The bridge is gone: the office is ending, or it lost its link.
  waitEnd(2000);
  if (processRunning()) killProcess("liaison UNO perdue");
  return false;
}

bool Office::Impl::alive() {
  std::lock_guard lk(mutex);
  return officeAnswers();
}

void Office::Impl::start() {
  std::lock_guard lk(mutex);
  if (connected && alive()) return;
  if (pid > 0) killProcess("redémarrage");
  connected = false;
  session = Session{};
  activeText.clear();
  released.clear();
  documentsOpened = 0;
  if (!worker) worker = std::make_unique<Worker>();

  static std::once_flag swept;
  std::call_once(swept, [&] { SweepLeftovers(TempRoot(opt)); });
  static std::atomic<int> counter{0};
  int n = ++counter;
  if (profileDir.empty()) {
    std::string dir = TempRoot(opt) + "/kup-lo-" + std::to_string(::getpid()) + "-" + std::to_string(n);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    if (::mkdir(dir.c_str(), 0700) != 0)
      raise(vberr::CantCreateObject,
            "Un composant ActiveX ne peut pas créer d'objet (profil " + dir + " : " + std::strerror(errno) + ")");
    profileDir = dir;
    SeedProfile(dir);
  }
  std::random_device rd;
  pipeName = "kup_lo_" + std::to_string(::getpid()) + "_" + std::to_string(n) + "_" + std::to_string(rd() % 100000);

  std::string failure;
  long newPid = 0;
  int exitSeen = -1;
  auto job = worker->post([&] {
    Reference<uno::XComponentContext> local = LocalContext();
    Reference<css::bridge::XUnoUrlResolver> resolver = css::bridge::UnoUrlResolver::create(local);
    std::vector<std::string> args = {opt.program,
                                     "--norestore",
                                     "--nologo",
                                     "--nodefault",
                                     "--nolockcheck",
                                     "-env:UserInstallation=" + S(FileUrl(profileDir)),
                                     "--accept=pipe,name=" + pipeName + ";urp;"};
    if (!opt.visible) args.insert(args.begin() + 1, {"--headless", "--invisible"});
    rtl::OUString url = U("uno:pipe,name=" + pipeName + ";urp;StarOffice.ComponentContext");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(opt.startTimeoutMs);
    int restarts = 0;
    newPid = Spawn(args, profileDir + "/soffice.log", !opt.visible);
    if (newPid <= 0) {
      failure = "le programme " + opt.program + " ne peut pas être lancé";
      return;
    }
    for (int attempt = 0;; ++attempt) {
      int status = 0;
      pid_t r = ::waitpid(static_cast<pid_t>(newPid), &status, WNOHANG);
      if (r == static_cast<pid_t>(newPid)) {
        exitSeen = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        // 79 and 81: the office asks to be started again (a new profile).
        if ((exitSeen == 79 || exitSeen == 81) && ++restarts <= 3) {
          newPid = Spawn(args, profileDir + "/soffice.log", !opt.visible);
          if (newPid <= 0) {
            failure = "le programme " + opt.program + " ne peut pas être relancé";
            return;
          }
          continue;
        }
        newPid = 0;
        failure = "le processus s'est arrêté (code " + std::to_string(exitSeen) + ")";
        return;
      }
      try {
        Reference<uno::XInterface> remote = resolver->resolve(url);
        session.ctx.set(remote, UNO_QUERY_THROW);
        session.desktop = css::frame::Desktop::create(session.ctx);
        return;
      } catch (const css::connection::NoConnectException&) {
      } catch (const css::connection::ConnectionSetupException&) {
      } catch (const uno::Exception& e) {
        // The office is still coming up (its desktop not yet there).
        if (std::chrono::steady_clock::now() > deadline) {
          failure = WithoutSourceLocation(S(e.Message));
          return;
        }
      }
      if (std::chrono::steady_clock::now() > deadline) {
        failure = "pas de connexion en " + std::to_string(opt.startTimeoutMs / 1000) + " s";
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 400 ? 25 : 100));
    }
  });
  bool finished = worker->wait(job, opt.startTimeoutMs + kGraceMs);
  pid = newPid;
  if (!finished) {
    killProcess("démarrage bloqué");
    if (!worker->wait(job, kGraceMs)) {
      worker->abandon();
      worker.reset();
    }
    raise(vberr::CantCreateObject, "Un composant ActiveX ne peut pas créer d'objet (LibreOffice ne démarre pas)");
  }
  if (job->error) {
    try {
      std::rethrow_exception(job->error);
    } catch (const VbError& e) {
      failure = e.description();
    } catch (const uno::Exception& e) {
      failure = WithoutSourceLocation(S(e.Message));
    } catch (...) {
      failure = "erreur inconnue";
    }
  }
  if (!failure.empty() || !session.desktop.is()) {
    killProcess("démarrage manqué");
    session = Session{};
    if (failure.empty()) failure = "pas de bureau";
    raise(vberr::CantCreateObject, "Un composant ActiveX ne peut pas créer d'objet (LibreOffice : " + failure + ")");
  }
  connected = true;
  watch(pid);
  session.generation = ++generation;
  log("LibreOffice démarré, processus " + std::to_string(pid) + ", tube " + pipeName);
}

// The office's end leaves the lock file of every document still open
// beside it, and a hidden load refuses a file locked that way: the next
// session could no longer open that template or document. Closed first, each
// document takes its lock away.
namespace {
void CloseEveryDocument(Session& s) {
  Reference<css::container::XEnumeration> e = s.desktop->getComponents()->createEnumeration();
  std::vector<Reference<css::util::XCloseable>> documents;
  while (e->hasMoreElements()) {
    Reference<css::util::XCloseable> d(e->nextElement(), UNO_QUERY);
    if (d.is()) documents.push_back(d);
  }
  for (auto& d : documents) {
    try {
      d->close(true);
    } catch (...) {
    }
  }
}
}  // namespace

void Office::Impl::shutdown() {
  std::lock_guard lk(mutex);
  if (opt.visible) keepPersonsWork();
  if (connected && pid > 0 && processRunning() && worker) {
    killedHere = true;
    // A clean end first, briefly; whatever is left is killed.
    auto job = worker->post([this] {
      activeText.clear();
      released.clear();
      try {
        if (session.desktop.is()) {
          CloseEveryDocument(session);
          session.desktop->terminate();
        }
      } catch (...) {
      }
    });
    worker->wait(job, 3000);
    for (int i = 0; i < 300 && processRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  killProcess("fin");
  if (worker) {
    // Remote references die on the worker's side of the bridge too.
    auto job = worker->post([this] {
      activeText.clear();
      released.clear();
      session = Session{};
    });
    if (worker->wait(job, kGraceMs)) {
      worker.reset();
    } else {
      worker->abandon();
      worker.reset();
    }
  }
  session = Session{};
  activeText.clear();
  released.clear();
  if (!profileDir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(profileDir, ec);
    profileDir.clear();
  }
}

void Office::Impl::noteActive(const Reference<css::lang::XComponent>& doc) { activeText = doc; }

Reference<css::lang::XComponent> Office::Impl::loadHidden(Session& s, const ::rtl::OUString& url,
                                                         std::vector<beans::PropertyValue> args,
                                                         const std::string& path, const char* what) {
  args.insert(args.begin(), {Prop("Hidden", Any(true)), Prop("MacroExecutionMode", Any(sal_Int16(0))),
                             Prop("UpdateDocMode", Any(sal_Int16(0)))});
  Reference<css::lang::XComponent> doc;
  try {
    doc = Q<css::frame::XComponentLoader>(s.desktop)->loadComponentFromURL(url, "_blank", 0, Props(args));
  } catch (const css::uno::RuntimeException&) {
    throw;
  } catch (const css::uno::Exception& e) {
    RaiseIfNoRoom("Le fichier " + path + " ne peut pas être ouvert");
    raise(vberr::PathFileAccess,
          "Le fichier " + path + " ne peut pas être ouvert (" + UnoMessage(e).substr(0, 120) + ")");
  }
  if (!doc.is()) RaiseIfNoRoom("Le fichier " + path + " ne peut pas être ouvert");
  if (doc.is()) ++documentsOpened;
  if (!doc.is())
    raise(vberr::PathFileAccess, "Le fichier " + path + " ne peut pas être ouvert : " + what +
                                     " endommagé ou protégé par un mot de passe");
  return doc;
}

void Office::Impl::closeQuietly(const Reference<css::lang::XComponent>& doc) {
  try {
    Q<css::util::XCloseable>(doc)->close(true);
  } catch (...) {
  }
}

void Office::Impl::releaseDocument(int docGeneration, const Reference<css::lang::XComponent>& doc,
                                   const std::function<void()>& drop) {
  if (!doc.is()) return;
  if (docGeneration == generation && connected) {
    try {
      call([&](Session&) {
        noteReleased(doc);
        drop();
      });
    } catch (...) {
    }
  }
  drop();
}

// A document made from a template is named after it, in its window's title
// and wherever the person is asked about it; the second and later of one
// template are numbered, so that two letters of one kind can be told apart.
std::string Office::Impl::titleFor(const std::string& templateName) {
  std::lock_guard lk(mutex);
  const int n = ++madeFromTemplate[templateName];
  return n == 1 ? templateName : templateName + " (" + std::to_string(n) + ")";
}

void Office::Impl::noteReleased(const Reference<css::lang::XComponent>& doc) {
  if (!doc.is()) return;
  released.push_back(doc);
  while (released.size() > static_cast<size_t>(kReleasedKept)) {
    Reference<css::lang::XComponent> old = released.front();
    released.pop_front();
    if (old == activeText) activeText.clear();
    // A document on the person's screen is theirs now: let go, never close.
    if (opt.visible && ShownToPerson(old)) continue;
    try {
      Reference<css::util::XCloseable> c(old, UNO_QUERY);
      if (c.is()) c->close(true);
    } catch (...) {
      // Already closed, or refused: nothing to keep.
    }
  }
}

void Office::Impl::noteClosed(const Reference<css::lang::XComponent>& doc) {
  if (doc == activeText) activeText.clear();
  for (auto it = released.begin(); it != released.end();) {
    if (*it == doc)
      it = released.erase(it);
    else
      ++it;
  }
}

// ---------------------------------------------------------------- public face

Office::Office(OfficeOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Office::~Office() {
  try {
    impl_->shuttingDown = true;
    impl_->shutdown();
  } catch (...) {
  }
  // A watcher still waiting (a shutdown that failed half-way) keeps its own
  // state: it is left to itself rather than freed under it.
  if (impl_->reaper && impl_->reaper->thread.joinable()) {
    impl_->reaper->thread.detach();
    (void)impl_->reaper.release();
  }
}

void Office::start() { impl_->start(); }
bool Office::alive() { return impl_->alive(); }
void Office::shutdown() { impl_->shutdown(); }
long Office::pid() const { return impl_->pid; }

bool Office::recycleIfDue() {
  Impl& o = *impl_;
  std::lock_guard lk(o.mutex);
  if (o.opt.recycleAfterDocuments <= 0 || o.documentsOpened < o.opt.recycleAfterDocuments || !o.connected ||
      !o.processRunning())
    return false;
  // Only documents nobody holds any more may go with it.
  bool free = true;
  try {
    o.call([&](Session& s) {
      Reference<css::container::XEnumeration> e = s.desktop->getComponents()->createEnumeration();
      while (free && e->hasMoreElements()) {
        Reference<css::lang::XComponent> doc(e->nextElement(), UNO_QUERY);
        free = std::find(o.released.begin(), o.released.end(), doc) != o.released.end() &&
               !(o.opt.visible && ShownToPerson(doc));
      }
    });
  } catch (const VbError&) {
    return false;
  }
  if (!free) return false;
  o.log("LibreOffice relancé à neuf après " + std::to_string(o.documentsOpened) + " documents, processus " +
        std::to_string(o.pid));
  o.killedHere = true;
  auto job = o.worker->post([&o] {
    o.activeText.clear();
    o.released.clear();
    try {
      CloseEveryDocument(o.session);
      o.session.desktop->terminate();
    } catch (...) {
    }
  });
  o.waitJob(job, 3000);
  o.waitEnd(3000);
  if (o.processRunning()) o.killProcess("relance");
  o.connected = false;
  return true;
}

int Office::openDocuments() {
  int n = 0;
  try {
    impl_->call([&](Session& s) {
      Reference<css::container::XEnumeration> e = s.desktop->getComponents()->createEnumeration();
      while (e->hasMoreElements()) {
        e->nextElement();
        ++n;
      }
    });
  } catch (const VbError&) {
    return 0;
  }
  return n;
}
std::string Office::profileFolder() const { return impl_->profileDir; }
int Office::generation() const { return impl_->generation; }
const OfficeOptions& Office::options() const { return impl_->opt; }

}  // namespace kup::lo

// ---------------------------------------------------------------- desktop mode

namespace kup::lo {

bool ShownToPerson(const Reference<css::lang::XComponent>& doc) {
  try {
    Reference<css::frame::XModel> model(doc, UNO_QUERY);
    if (!model.is() || !model->getCurrentController().is()) return false;
    Reference<css::frame::XFrame> frame = model->getCurrentController()->getFrame();
    if (!frame.is()) return false;
    Reference<css::awt::XWindow2> w(frame->getContainerWindow(), UNO_QUERY);
    return w.is() && w->isVisible();
  } catch (...) {
    return false;
  }
}

void Office::Impl::showDocument(const Reference<css::lang::XComponent>& doc, bool minimised) {
  if (!opt.visible || !doc.is()) return;
  Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
  Reference<css::frame::XFrame> frame = model->getCurrentController()->getFrame();
  Reference<css::awt::XWindow> w = frame->getContainerWindow();
  Reference<css::awt::XTopWindow2> top(w, UNO_QUERY);
  Reference<css::awt::XWindow2> shown(w, UNO_QUERY);
  const bool arriving = !shown.is() || !shown->isVisible() || (top.is() && top->getIsMinimized());
  w->setVisible(true);
  if (minimised) {
    if (top.is()) top->setIsMinimized(true);
    return;
  }
  if (top.is()) {
    if (top->getIsMinimized()) {
      // The merge shows its letter by minimising then maximising it: the
      // manager may iconify the window only after the office took it back,
      // and maximised from there the office puts the document off the
      // screen inside its frame. Withdrawn and put on the screen again, the
      // window arrives as a new one would.
      w->setVisible(false);
      w->setVisible(true);
      top->setIsMinimized(false);
    }
    // A window manager takes a window that is being put on the screen in
    // its own time; asked to maximise it meanwhile, it misses the request,
    // or the office then places its window off the frame the manager gave
    // it. So the request waits for the window to be there, and is made
    // again while the state the manager writes back does not hold.
    if (arriving) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    top->setIsMaximized(true);
    top->toFront();
    int held = 0;
    for (int i = 0; i < 20 && held < 3; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (top->getIsMaximized()) {
        ++held;
      } else {
        held = 0;
        top->setIsMaximized(true);
      }
    }
  }
  frame->activate();
  w->setFocus();
}

bool Office::Impl::sidePing() {
  // The worker is busy with the call that waits: the question goes on a
  // thread of its own. The office answers it while one of its dialogs is
  // open; a hung office does not, and the thread is freed when it is killed.
  struct Answer {
    std::mutex m;
    std::condition_variable cv;
    bool done = false, ok = false;
  };
  auto answer = std::make_shared<Answer>();
  Reference<css::frame::XDesktop2> desktop = session.desktop;
  std::thread([answer, desktop] {
    bool ok = false;
    try {
      Q<css::lang::XServiceInfo>(desktop)->getImplementationName();
      ok = true;
    } catch (...) {
    }
    std::lock_guard lk(answer->m);
    answer->done = true;
    answer->ok = ok;
    answer->cv.notify_all();
  }).detach();
  std::unique_lock lk(answer->m);
  answer->cv.wait_for(lk, std::chrono::milliseconds(opt.pingTimeoutMs), [&] { return answer->done; });
  return answer->done && answer->ok;
}

bool Office::Impl::waitForPerson(const std::shared_ptr<Worker::Job>& job) {
  log("LibreOffice attend son utilisateur (processus " + std::to_string(pid) + ")");
  WaitingForPerson waiting(opt);
  for (;;) {
    if (waitJob(job, opt.pingTimeoutMs)) return true;
    if (ended() || !processRunning()) return false;
    if (sidePing()) continue;
    if (worker->wait(job, 0)) return true;
    if (opt.askDiscard &&
        opt.askDiscard("LibreOffice ne répond plus.\n\nL'arrêter ? Les modifications non enregistrées de ses "
                       "documents seront perdues."))
      return false;
  }
}

std::vector<std::string> Office::Impl::modifiedShownDocuments() {
  std::vector<std::string> titles;
  auto job = worker->post([&] {
    Reference<css::container::XEnumeration> e = session.desktop->getComponents()->createEnumeration();
    while (e->hasMoreElements()) {
      Reference<css::lang::XComponent> doc(e->nextElement(), UNO_QUERY);
      Reference<css::util::XModifiable> m(doc, UNO_QUERY);
      if (!m.is() || !m->isModified() || !ShownToPerson(doc)) continue;
      Reference<css::frame::XModel> model(doc, UNO_QUERY);
      std::string title;
      try {
        Reference<css::frame::XTitle> t(model->getCurrentController()->getFrame(), UNO_QUERY);
        if (t.is()) title = S(t->getTitle());
      } catch (...) {
      }
      titles.push_back(title.empty() ? std::string("(sans titre)") : title);
    }
  });
  if (!worker->wait(job, opt.pingTimeoutMs) || job->error) return {};
  return titles;
}

void Office::Impl::keepPersonsWork() {
  for (;;) {
    if (!connected || !processRunning() || !worker) return;
    std::vector<std::string> titles = modifiedShownDocuments();
    if (titles.empty()) return;
    std::string list;
    for (const auto& t : titles) list += "\n- " + t;
    if (opt.askDiscard &&
        opt.askDiscard("Des documents ouverts dans LibreOffice ont des modifications non enregistrées :" + list +
                       "\n\nLes abandonner ?\n\nNon : enregistrez-les ou fermez-les dans LibreOffice, Korvane "
                       "attend."))
      return;
    log("fin de session en attente des documents modifiés de l'utilisateur");
    // Until the person has saved or closed them (or closed the office).
    while (processRunning() && !modifiedShownDocuments().empty())
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
}

}  // namespace kup::lo
