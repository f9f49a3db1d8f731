#pragma once
// The DDE service folder: where DDE servers listen (one Unix-domain stream
// socket per application and topic) and where programs publish the titles of
// their top-level windows. Shared by the container's DDE layer, its window
// registry and the partner stand-ins in tools/.
//
// Wire format on a conversation socket (all texts UTF-8):
//   client -> server   EXEC <N>\n<N bytes>      an execute string
//                      SHOW <N>\n<N bytes>      "<handle> <cmd>": hide (0) / restore (9) a window
//   server -> client   ACK\n  or  NAK\n         one answer per EXEC, in order; none for SHOW
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kup::platform::dde {

// Frames bigger than this are refused (read and dropped, answered NAK).
constexpr size_t kMaxPayload = 64u * 1024u * 1024u;
// Nothing larger than this may stand between the frame kind and the newline.
constexpr size_t kMaxHeader = 32;

// The folder to use: `configured` when not empty, else the environment
// variable KUP_DDE_DIR, else $XDG_RUNTIME_DIR/kup-dde, else /tmp/kup-dde-<uid>.
std::string ResolveFolder(const std::string& configured = {});
// Creates the folder (mode 0700) when missing and checks that it is a real
// directory of this user that nobody else may write into. Returns false with
// a reason when it cannot be used.
bool PrepareFolder(const std::string& folder, std::string* why = nullptr);

// File name (no folder) of the socket of (application, topic); names compare
// without regard to case, so both are case-folded before encoding. Long
// names are replaced by a hash so that the socket path stays short.
std::string SocketName(const std::string& application, const std::string& topic);
// Splits a link topic "application|topic" at its first "|"; false when there
// is no "|" or the application is empty.
bool SplitLinkTopic(const std::string& linkTopic, std::string& application, std::string& topic);

// ---- sockets (all created close-on-exec)
// Listens on folder/name (a stale socket file is replaced); -1 on failure.
int Listen(const std::string& folder, const std::string& name, std::string* why = nullptr);
// Non-blocking connect to folder/name; -1 when nobody accepts (missing
// socket, refused, or a server whose backlog is full).
int Connect(const std::string& folder, const std::string& name);
void SetNonBlocking(int fd, bool on);
// Writes all bytes before the deadline (ms since an arbitrary epoch, see
// NowMs). `written` tells how much went out.
enum class WriteStatus { Done, Broken, Late };
WriteStatus WriteAll(int fd, const std::string& bytes, int64_t deadlineMs, size_t* written = nullptr);
// WriteAll of the frame EncodeFrame(kind, payload) gives, without building
// it: the header and the payload go out together in one system call.
WriteStatus WriteFrame(int fd, const std::string& kind, const std::string& payload, int64_t deadlineMs);
int64_t NowMs();

std::string EncodeFrame(const std::string& kind, const std::string& payload);

// Incremental reader of frames and answers.
class FrameReader {
 public:
  struct Frame {
    std::string kind;        // "EXEC", "SHOW", "ACK", "NAK", or another word
    std::string payload;     // empty for answers
    bool oversized = false;  // payload dropped: it was larger than kMaxPayload
  };
  void feed(const char* data, size_t n);
  // The next complete frame, if any.
  std::optional<Frame> next();
  // The stream cannot be understood any more (bad header).
  bool broken() const { return broken_; }

 private:
  void parse();
  std::string buf_;
  size_t pos_ = 0;
  bool broken_ = false;
  std::deque<Frame> ready_;
  // A frame too large to keep, whose bytes are dropped as they come.
  std::string skipKind_;
  size_t skipLeft_ = 0;
};

// ---- published windows
// A window published by a process: its handle (process id << 8 | index, so
// that it fits a 32-bit window handle), its title and the socket of the
// process that takes show requests for it ("" when none).
struct WindowRecord {
  long handle = 0;
  std::string title;
  std::string socket;
};
long MakeHandle(long pid, int index);
long HandleOwner(long handle);
bool PublishWindow(const std::string& folder, const WindowRecord& w);
void WithdrawWindow(const std::string& folder, long handle);
// Every published window of a living process (records of dead processes
// are removed on the way), by handle.
std::vector<WindowRecord> ListWindows(const std::string& folder);
std::optional<WindowRecord> ReadWindow(const std::string& folder, long handle);
// Sends a show request to the process owning the window; never waits.
bool SendShow(const std::string& folder, const WindowRecord& w, int cmd);

// Escapes CR, LF and "\" so that any execute string fits on one log line.
std::string EscapeLine(const std::string& s);
std::string UnescapeLine(const std::string& s);

}  // namespace kup::platform::dde
