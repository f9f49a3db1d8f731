#include "platform/RealShell.h"

#include <cctype>

#include "vb/VbString.h"
#include "platform/PathText.h"

namespace kup::platform {

namespace {
constexpr long kStarted = 42, kFileNotFound = 2, kNoAssociation = 31;

bool IsProgramName(const std::string& file) {
  auto dot = file.find_last_of('.');
  if (dot == std::string::npos || file.find_first_of("\\/", dot) != std::string::npos) return false;
  std::string ext = UCase(file.substr(dot));
  return ext == ".EXE" || ext == ".BAT" || ext == ".CMD" || ext == ".COM";
}
}  // namespace

bool LooksLikeAddress(const std::string& text) {
  size_t colon = text.find(':');
  if (colon == std::string::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  for (size_t i = 1; i < colon; ++i) {
    char c = text[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

RealShell::RealShell(const IFileSystem* fs, ILog* log)
    : openTool(FindOnPath("xdg-open")), printTool(FindOnPath("lp")), fs_(fs), log_(log), launcher_(fs, log) {}

long RealShell::launch(const std::vector<std::string>& argv, const std::string& folder) {
  return launcher_.start(argv, folder) ? kStarted : kNoAssociation;
}

long RealShell::execute(long ownerHwnd, const std::string& verb, const std::string& file, const std::string& parameters,
                        const std::string& folder, int show) {
  std::string v = LCase(verb);
  auto answer = [&](long r) {
    if (log_) log_->write("shell", "\"" + verb + "\" \"" + file + "\" \"" + parameters + "\" -> " + std::to_string(r));
    return r;
  };
  if (file.empty()) return answer(kFileNotFound);
  bool open = v.empty() || v == "open" || v == "explore";
  if (!open && v != "print") return answer(kNoAssociation);

  if (LooksLikeAddress(file)) {
    if (!open || openTool.empty()) return answer(kNoAssociation);
    return answer(launch({openTool, file}, {}));
  }

  PathText p = PathText::Parse(file);
  if (p.kind == PathText::Kind::Relative && !folder.empty()) p = p.under(PathText::Parse(folder));
  std::string text = p.text();

  if (open && IsProgramName(file)) {
    std::string program = ResolveProgram(fs_, text);
    if (program.empty()) return answer(kFileNotFound);
    std::vector<std::string> argv = SplitCommandLine("x " + parameters);
    argv[0] = program;
    std::string dir = folder;
    if (dir.empty()) {
      PathText parent = p;
      if (!parent.parts.empty()) parent.parts.pop_back();
      dir = parent.text();
    }
    return answer(launcher_.start(argv, fs_ && fs_->folderExists(dir) ? dir : std::string()) ? kStarted
                                                                                            : kFileNotFound);
  }

  bool exists = fs_ ? (fs_->fileExists(text) || fs_->folderExists(text)) : false;
  if (!exists) return answer(kFileNotFound);
  std::string host = fs_->hostPath(text);
  if (open) return answer(openTool.empty() ? kNoAssociation : launch({openTool, host}, {}));
  if (fs_->folderExists(text)) return answer(kNoAssociation);
  return answer(printTool.empty() ? kNoAssociation : launch({printTool, host}, {}));
}

}  // namespace kup::platform
