#pragma once
// Windows path texts as the system writes them, and their place on the host.
// "\" and "/" both separate; "X:" names a drive; "\\server\share" a network
// share; a text starting with one separator is a host path; anything else is
// relative to the current folder. "." components vanish and ".." removes the
// component before it (never climbing above a drive, share or host root).
#include <sys/stat.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kup::platform {

inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

struct PathText {
  enum class Kind { Drive, Unc, Host, Relative };
  Kind kind = Kind::Relative;
  char drive = 0;                  // upper-case letter (Drive)
  std::string server, share;       // Unc
  std::vector<std::string> parts;  // folders and name below the root
  // Relative texts keep their leading ".." (nothing to climb above yet).

  static PathText Parse(const std::string& text);
  // The canonical Windows-like text: "C:\a\b", "\\srv\share\a", "/a/b", "a\b".
  std::string text() const;
  // This text below another folder (for relative texts; others are returned as they are).
  PathText under(const PathText& folder) const;
};

// Host names are bytes; the rest of the program speaks UTF-8. A host name
// that is not valid UTF-8 gets a text all the same, and that text leads back
// to the same bytes: each byte outside a valid sequence stands as the
// private-use character U+EF00 + byte (U+EF80 to U+EFFF), and a name that
// truly holds one of those characters has its bytes stand that way too. A
// "\" in a host name, which a path text would take for a separator, stands
// as U+EF5C the same way, and so do the characters XML forbids (the
// controls other than tab, LF and CR; U+FFFE, U+FFFF), which a reply would
// replace by U+FFFD.
std::string HostNameToText(const std::string& host);
// A value from the host that may be a path text written by a person (an
// environment variable, a scripted answer): its bytes stand in as above, but
// a "\" stays a separator.
std::string HostValueToText(const std::string& host);
// The bytes a text names on the host: the reverse of HostNameToText (any
// other text is its own bytes).
std::string TextToHostName(const std::string& text);

// Windows compares names without regard to case: two names that differ
// only in case give the same folded name (the whole name upper-cased).
std::string FoldedName(const std::string& text);

// Where drives and shares live on the host.
//
// Configuration text (environment variable KUP_DRIVES): entries separated by
// ";", each "<letter>=<host folder>", e.g. "C=/srv/c;D=/mnt/d". A drive not
// listed maps to <driveRoot>/<lower-case letter>; "\\server\share\x" maps to
// <uncRoot>/<server>/<share>/x. Host paths ("/...") are used as they are;
// relative texts stay relative (the process's current folder).
struct DriveMap {
  std::map<char, std::string> drives;  // upper-case letter -> host folder
  std::string driveRoot;
  std::string uncRoot;

  // Parses "C=/srv/c;D=/mnt/d"; malformed entries are ignored.
  static std::map<char, std::string> ParseDrives(const std::string& config);
  std::string hostPath(const PathText& p) const;
  // The host folder a text starts from ("" for a relative text: the current
  // folder) and the names below it (server and share included), as texts:
  // hostPath joins them.
  std::string hostBase(const PathText& p, std::vector<std::string>& names) const;

  // The host path of a text as Windows finds it: a name that is not there
  // as written is the one entry of its folder that differs from it only in
  // case (FoldedName); with several, the name stays as written and `doubt`
  // hears of it (the name, the host folder, how many). A name there as
  // written costs one lstat(), only a missing one a walk of its folder.
  // `st` (when given) gets lstat() of the path found; false when nothing is
  // there.
  using Doubt = std::function<void(const std::string& name, const std::string& hostFolder, size_t count)>;
  bool find(const PathText& p, std::string& host, struct ::stat* st = nullptr, const Doubt& doubt = {}) const;
  std::string foundHostPath(const PathText& p) const {
    std::string host;
    find(p, host);
    return host;
  }
};

}  // namespace kup::platform
