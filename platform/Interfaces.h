#pragma once
// Our stand-ins for the Windows platform the program was written against.
// Each interface has a real implementation (Real*.h) and a fake for tests
// (Fake*.h). Paths are the system's Windows-like texts; the file system
// maps them to host paths at this boundary.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kup::platform {

// ---------------------------------------------------------------- files
// Failures raise kup::VbError: 53 file not found, 76 path not found,
// 70 permission denied, 75 path/file access error.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // Host path of a Windows path text ("\" and "/" both separate; "X:" maps
  // to a configured folder; a path starting with "/" is a host path).
  virtual std::string hostPath(const std::string& path) const = 0;
  // Where the path truly lies, every link on the way followed: a text of the
  // same place holding no link, "" when nothing is there. A file system
  // without links answers the path itself.
  virtual std::string resolvedPath(const std::string& path) const {
    return fileExists(path) || folderExists(path) ? path : std::string();
  }
  virtual bool fileExists(const std::string& path) const = 0;
  virtual bool folderExists(const std::string& path) const = 0;
  // Names (no folder) of the normal files of a folder: no sub-folders, no
  // hidden files (host names starting with "."). A missing folder gives none.
  virtual std::vector<std::string> listFiles(const std::string& folder) const = 0;
  virtual std::vector<std::string> listFolders(const std::string& folder) const = 0;
  // Whole content as bytes (std::string used as a byte buffer).
  virtual std::string readFile(const std::string& path) const = 0;
  virtual void writeFile(const std::string& path, const std::string& bytes) = 0;
  virtual void appendFile(const std::string& path, const std::string& bytes) = 0;
  virtual void removeFile(const std::string& path) = 0;
  virtual void createFolder(const std::string& path) = 0;  // with parents
  virtual void copyFile(const std::string& from, const std::string& to) = 0;
  virtual void renameFile(const std::string& from, const std::string& to) = 0;
  // Puts a file in the place of another in one step (MoveFileEx with
  // MOVEFILE_REPLACE_EXISTING): until then the older file stays whole. A
  // link in that place is replaced, never followed.
  virtual void replaceFile(const std::string& from, const std::string& to) = 0;
  // True when the path itself is a symbolic link, wherever it leads.
  virtual bool isLink(const std::string& path) const = 0;
  // True when the path names a regular file of the program's user, itself
  // and not a link to one: what may be deleted in a folder others write to.
  // A file system without links or other users asks only whether it is there.
  virtual bool isOwnFile(const std::string& path) const { return fileExists(path) && !isLink(path); }
  virtual int64_t fileSize(const std::string& path) const = 0;  // -1 when missing
  // Last-write time in seconds since the epoch (UTC); raises 53 when missing.
  virtual std::time_t modifiedTime(const std::string& path) const = 0;
  virtual void setModifiedTime(const std::string& path, std::time_t t) = 0;
  // A new temporary file: created where nothing of its name existed (never
  // through a link), readable and writable by its owner only, holding
  // `bytes`. Its path comes from `draw`; a name already taken (file,
  // folder or link) draws another, `tries` names at most, then raises 58.
  // Returns the path created; a failed write removes the file it began.
  virtual std::string createNewTempFile(const std::function<std::string()>& draw, int tries,
                                        const std::string& bytes) = 0;
};

// ---------------------------------------------------------------- environment
class IEnvironment {
 public:
  virtual ~IEnvironment() = default;
  virtual std::string get(const std::string& name) const = 0;  // "" when unset
  virtual void set(const std::string& name, const std::string& value) = 0;
  // The TEMP folder as a path text without trailing separator: the
  // variable TEMP, else the host temp folder.
  virtual std::string tempFolder() const = 0;
  // Folder of the running executable, no trailing separator.
  virtual std::string programFolder() const = 0;
  virtual std::string currentFolder() const = 0;
  virtual void setCurrentFolder(const std::string& path) = 0;
  virtual uint32_t tickCount() const = 0;  // milliseconds, GetTickCount
  virtual std::time_t now() const = 0;     // local wall clock
};

// VB's Rnd/Randomize: a uniform value in [0, 1).
class IRandom {
 public:
  virtual ~IRandom() = default;
  virtual void randomize() = 0;  // re-seed from the clock
  virtual double rnd() = 0;
};

// ---------------------------------------------------------------- message boxes
namespace mb {
constexpr int OKOnly = 0, OKCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5;
constexpr int Critical = 16, Question = 32, Exclamation = 48, Information = 64;
constexpr int DefaultButton2 = 256, DefaultButton3 = 512;
constexpr int SystemModal = 4096;
constexpr int OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7;
// The buttons of a box, left to right.
std::vector<int> Buttons(int buttons);
// "OK", "Annuler", "Abandonner", "Réessayer", "Ignorer", "Oui", "Non".
std::string ButtonName(int answer);
// What a box answers when nobody is there to press a button: its default
// button (the first, or the second/third with DefaultButton2/3), except that
// Retry/Cancel answers Cancel and Abort/Retry/Ignore answers Abort, so that no
// caller retries for ever.
int HeadlessAnswer(int buttons);
}  // namespace mb

class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // VB MsgBox(prompt, buttons, title): returns the button pressed.
  virtual int show(const std::string& prompt, int buttons, const std::string& title) = 0;
};

// ---------------------------------------------------------------- common dialogs
// The CommonDialog control: the caller sets the properties then calls a Show
// method. With CancelError true a cancel raises 32755; otherwise FileName is "".
struct CommonDialogState {
  std::string DialogTitle, InitDir, Filter, FileName, DefaultExt;
  int FilterIndex = 0;
  long Flags = 0;
  bool CancelError = false;
  int Copies = 1;
  bool PrinterDefault = true;
  std::string PrinterName;  // filled by showPrinter
};

class ICommonDialog {
 public:
  virtual ~ICommonDialog() = default;
  CommonDialogState state;
  virtual void ShowOpen() = 0;
  virtual void ShowSave() = 0;
  virtual void ShowPrinter() = 0;
};

// ---------------------------------------------------------------- clipboard
class IClipboard {
 public:
  virtual ~IClipboard() = default;
  virtual void clear() = 0;
  virtual void setText(const std::string& text, const std::string& format = "text") = 0;
  virtual std::string getText(const std::string& format = "text") const = 0;
};

// ---------------------------------------------------------------- windows
// Top-level windows by handle: the window-title registry behind FindWindow,
// ShowWindowAsync, SetWindowPos and the style words.
class IWindowSystem {
 public:
  virtual ~IWindowSystem() = default;
  // Registers a window of this process under a title; returns its handle.
  virtual long registerWindow(const std::string& title) = 0;
  virtual void setTitle(long hwnd, const std::string& title) = 0;
  virtual void unregisterWindow(long hwnd) = 0;
  // FindWindowA(NULL, title): 0 when there is none (any process).
  virtual long findWindow(const std::string& title) = 0;
  virtual void showWindowAsync(long hwnd, int cmd) = 0;  // 0 hide, 9 restore
  // SetWindowPos with HWND_TOPMOST (true) / HWND_NOTOPMOST (false), no move/size/activate, shown.
  virtual void setTopmost(long hwnd, bool topmost) = 0;
  virtual bool isTopmost(long hwnd) const = 0;
  virtual long getWindowLong(long hwnd, int index) const = 0;  // index -16: style
  virtual void setWindowLong(long hwnd, int index, long value) = 0;
  virtual void drawMenuBar(long hwnd) = 0;
};

constexpr int GWL_STYLE = -16;
constexpr long WS_SYSMENU = 0x00080000L;

// ---------------------------------------------------------------- processes
class IProcessLauncher {
 public:
  virtual ~IProcessLauncher() = default;
  // Starts a program with an argument vector (argv[0] the program), never a
  // shell. Returns the process id, or 0 when it could not be started.
  virtual long start(const std::vector<std::string>& argv, const std::string& workingFolder = {}) = 0;
  // Waits until the process is ready for input (WaitForInputIdle): here, a
  // bounded settle time or its exit. Returns false when it already exited.
  virtual bool waitForInputIdle(long pid, int timeoutMs) = 0;
  // Waits for the end of the process: true when it ended within the time
  // (timeoutMs < 0: without limit). The exit code is stored when it ended.
  virtual bool waitForExit(long pid, int timeoutMs, int* exitCode = nullptr) = 0;
  virtual bool isRunning(long pid) = 0;
  virtual void kill(long pid) = 0;
};

// Splits a Windows command line into arguments (CreateProcess rules:
// blanks separate, double quotes group, backslashes before a quote escape).
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
// The same, resolving an unquoted program name that contains blanks as
// CreateProcess does: "C:\Program Files\x.exe a" tries "C:\Program",
// then "C:\Program Files\x.exe", each also with ".exe" added when it has
// no extension, and keeps the first for which programExists is true (the
// text as found, without ".exe" added); when none exists, the first word.
std::vector<std::string> SplitCommandLine(const std::string& commandLine,
                                          const std::function<bool(const std::string&)>& programExists);

// ---------------------------------------------------------------- shell
class IShell {
 public:
  virtual ~IShell() = default;
  // ShellExecuteA: returns a value greater than 32 on success, else an
  // error code (2 file not found, 31 no association).
  virtual long execute(long ownerHwnd, const std::string& verb, const std::string& file,
                       const std::string& parameters, const std::string& folder, int show) = 0;
};

// ---------------------------------------------------------------- dynamic libraries
class IDynamicLibraries {
 public:
  virtual ~IDynamicLibraries() = default;
  // LoadLibraryA: a handle, 0 when the library cannot be loaded. A bare
  // file name goes through the system search path.
  virtual long load(const std::string& path) = 0;
  // GetProcAddress: the entry's address, nullptr when absent.
  virtual void* symbol(long handle, const std::string& name) = 0;
};

// ---------------------------------------------------------------- regional settings
// Dates and times written as text follow the regional profile; French by
// default (short date dd/MM/yyyy, long time HH:mm:ss, general date = both,
// midnight written as the date alone).
struct RegionalProfile {
  std::string shortDate = "dd/MM/yyyy";
  std::string longTime = "HH:mm:ss";
  std::string dateSeparator = "/";
  std::string timeSeparator = ":";
  std::string decimalSeparator = ",";
};
std::string FormatShortDate(const RegionalProfile& p, const std::tm& t);
std::string FormatLongTime(const RegionalProfile& p, const std::tm& t);
std::string FormatGeneralDate(const RegionalProfile& p, const std::tm& t);

// ---------------------------------------------------------------- log sink
// Where the headless platform writes what a person would have seen (message
// boxes, dialogs) and where the host writes the debug and performance logs.
class ILog {
 public:
  virtual ~ILog() = default;
  virtual void write(const std::string& channel, const std::string& text) = 0;
};

// ---------------------------------------------------------------- UI bridge
// The Flash control as the handlers use it.
class IFlash {
 public:
  virtual ~IFlash() = default;
  // Makes the XML the return value of the pending call; a second call in the
  // same request replaces the first.
  virtual void SetReturnValue(const std::string& xml) = 0;
  // Calls into the player; returns when the player has handled it. Raises a
  // VbError when the call cannot be delivered.
  virtual std::string CallFunction(const std::string& xml) = 0;
  std::string FlashVars;
  std::string Movie;
};

// ---------------------------------------------------------------- timers
// One timer of the main window (VB Timer control): Interval in ms, Enabled;
// the owner sets onTimer.
class ITimer {
 public:
  virtual ~ITimer() = default;
  virtual void setInterval(int ms) = 0;
  virtual int interval() const = 0;
  virtual void setEnabled(bool on) = 0;
  virtual bool enabled() const = 0;
  std::function<void()> onTimer;
};

}  // namespace kup::platform
