// Window, process, byte, temporary-file and tokeniser helpers.
#include <algorithm>

#include "core/Core.h"
#include "platform/RealFlash.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

// ---------------------------------------------------------------- windows

namespace {
platform::IWindowSystem& Fenetres(App& app) {
  if (!app.pf.windows) raise(vberr::ObjectVariableNotSet);
  return *app.pf.windows;
}
}  // namespace

void FenetrePremierPlan(App& app, long hwnd, bool flag) { Fenetres(app).setTopmost(hwnd, flag); }

void EffacerBarreControle(App& app, long hwnd) {
  auto& w = Fenetres(app);
  long style = w.getWindowLong(hwnd, platform::GWL_STYLE);
  // Hiding twice must not lose the style the second call would find
  // already stripped.
  if (!app.stylesSauves.count(hwnd)) app.stylesSauves[hwnd] = style;
  w.setWindowLong(hwnd, platform::GWL_STYLE, style & ~platform::WS_SYSMENU);
  w.drawMenuBar(hwnd);
}

void AfficherBarreControle(App& app, long hwnd) {
  auto& w = Fenetres(app);
  auto it = app.stylesSauves.find(hwnd);
  // Without a saved style there is nothing to put back (writing an unset
  // style would strip the window).
  if (it != app.stylesSauves.end()) {
    w.setWindowLong(hwnd, platform::GWL_STYLE, it->second);
    app.stylesSauves.erase(it);
  }
  w.drawMenuBar(hwnd);
}

long lTrouverFenetre(App& app, const std::string& title) { return Fenetres(app).findWindow(title); }

void sub_AfficherFenetre(App& app, long hwnd) {
  auto& w = Fenetres(app);
  w.showWindowAsync(hwnd, 0);
  w.showWindowAsync(hwnd, 9);
}

// ---------------------------------------------------------------- processes

namespace {
constexpr int kAttentePretMs = 30000;  // bound of the wait until the program takes input
}

long LancerProgramme(App& app, const std::string& program, const std::string& parameters) {
  if (!app.pf.processes) return 0;
  // The command line is read as CreateProcess reads it: an unquoted program
  // path with blanks ("C:\Program Files\x.exe") is found by trying each
  // blank in turn, so a program text that carries its own arguments
  // ("C:\SIG\sig.exe -dde") still starts.
  auto exists = [&app](const std::string& p) {
    if (!app.pf.fs) return false;
    if (app.fs().fileExists(p)) return true;
    std::string u = UCase(p);
    return u.size() > 4 && u.compare(u.size() - 4, 4, ".EXE") == 0 && app.fs().fileExists(p.substr(0, p.size() - 4));
  };
  std::vector<std::string> argv = platform::SplitCommandLine(Trim(program) + " " + Trim(parameters), exists);
  if (argv.empty()) return 0;
  long pid = 0;
  try {
    pid = app.pf.processes->start(argv);
  } catch (...) {
    pid = 0;
  }
  if (pid == 0) return 0;
  try {
    app.pf.processes->waitForInputIdle(pid, kAttentePretMs);
  } catch (...) {
  }
  return 1;
}

// ---------------------------------------------------------------- bytes

std::string OctetsDepuisChaine(const std::string& text) {
  std::string bytes = ToCp1252(text);
  bytes.push_back('\0');
  return bytes;
}

std::string sOctetsVersChaine(const std::string& bytes) {
  if (bytes.empty()) return {};
  size_t end = bytes.size() - 1;
  size_t zero = bytes.find('\0');
  if (zero != std::string::npos && zero < end) end = zero;
  return FromCp1252(std::string_view(bytes).substr(0, end));
}

std::string LireFichierBinaire(App& app, const std::string& path) {
  if (!app.pf.fs) raise(vberr::ObjectVariableNotSet);
  return app.fs().readFile(path);
}

namespace {
const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string encodeBase64(const std::string& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  auto b = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = (b(i) << 16) | (b(i + 1) << 8) | b(i + 2);
    out += kB64[(v >> 18) & 63];
    out += kB64[(v >> 12) & 63];
    out += kB64[(v >> 6) & 63];
    out += kB64[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest == 1) {
    uint32_t v = b(i) << 16;
    out += kB64[(v >> 18) & 63];
    out += kB64[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    uint32_t v = (b(i) << 16) | (b(i + 1) << 8);
    out += kB64[(v >> 18) & 63];
    out += kB64[(v >> 12) & 63];
    out += kB64[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string decodeBase64(const std::string& text) {
  int8_t map[256];
  std::fill(std::begin(map), std::end(map), static_cast<int8_t>(-1));
  for (int k = 0; k < 64; ++k) map[static_cast<unsigned char>(kB64[k])] = static_cast<int8_t>(k);
  std::string out;
  out.reserve(text.size() / 4 * 3);
  uint32_t acc = 0;
  int n = 0;
  bool padding = false;
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      padding = true;
      continue;
    }
    if (padding || map[c] < 0) raise(vberr::InvalidCall, "Texte base64 incorrect");
    acc = (acc << 6) | static_cast<uint32_t>(map[c]);
    if (++n == 4) {
      out += static_cast<char>((acc >> 16) & 0xFF);
      out += static_cast<char>((acc >> 8) & 0xFF);
      out += static_cast<char>(acc & 0xFF);
      acc = 0;
      n = 0;
    }
  }
  if (n == 1) raise(vberr::InvalidCall, "Texte base64 incorrect");
  if (n == 2) out += static_cast<char>((acc >> 4) & 0xFF);
  if (n == 3) {
    out += static_cast<char>((acc >> 10) & 0xFF);
    out += static_cast<char>((acc >> 2) & 0xFF);
  }
  return out;
}

// ---------------------------------------------------------------- temporary files

std::string sJoindreChemin(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  std::string f = folder;
  while (!f.empty() && (f.back() == '\\' || f.back() == '/')) f.pop_back();
  size_t b = 0;
  while (b < name.size() && (name[b] == '\\' || name[b] == '/')) ++b;
  return f + "\\" + name.substr(b);
}

namespace {
constexpr int kTiragesMax = 1000;
}

std::string sCreerFichierTemporaire(App& app, const std::string& extension, const std::string& bytes,
                                    bool reseed) {
  if (!app.pf.env || !app.pf.random || !app.pf.fs) raise(vberr::ObjectVariableNotSet);
  std::string folder = app.env().tempFolder();
  // Seeded once: a fresh seed within the same clock tick would give the
  // same name again.
  if (reseed) app.pf.random->randomize();
  int tirages = 0;
  auto tirer = [&] {
    std::string path;
    do {
      double n = RoundHalfEven(1000000.0 * app.pf.random->rnd() + 1.0);
      path = sJoindreChemin(folder, NumberText(n) + extension);
    } while (app.fichiersTemporaires.count(path) && ++tirages < kTiragesMax);
    return path;
  };
  std::string path;
  try {
    path = app.fs().createNewTempFile(tirer, kTiragesMax, bytes);
  } catch (const VbError& e) {
    if (e.number() != vberr::FileAlreadyExists) throw;
    raise(vberr::FileAlreadyExists, "Aucun nom de fichier temporaire libre dans " + folder);
  }
  app.fichiersTemporaires.insert(path);
  return path;
}

std::string sFichierTemporaire(App& app, const std::string& extension, bool reseed) {
  return sCreerFichierTemporaire(app, extension, std::string(), reseed);
}

void ReserverFichierTemporaire(App& app, const std::string& chemin) {
  auto& fs = app.fs();
  if (fs.isLink(chemin) || fs.fileExists(chemin)) fs.removeFile(chemin);
  fs.createNewTempFile([&] { return chemin; }, 1, std::string());
}

// ---------------------------------------------------------------- tokeniser

namespace {

// Bytes of the UTF-8 character whose first byte is c (the text is valid).
size_t LongueurCaractere(unsigned char c) { return c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4; }

// Whether the character at `at` is one of the set's.
bool DansEnsemble(std::string_view texte, size_t at, std::string_view ensemble) {
  for (size_t i = 0; i < ensemble.size();) {
    size_t n = LongueurCaractere(static_cast<unsigned char>(ensemble[i]));
    if (texte.compare(at, n, ensemble.substr(i, n)) == 0) return true;
    i += n;
  }
  return false;
}

bool Ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

// The text is kept as UTF-8 (bytes that are not UTF-8 repaired) and cut where
// the bytes of a set's character are: a DDE string may be long, and
// characters counted one by one cost it dearly.
std::string GEN_DecomposerLigne(App& app, const std::string& text, const std::string& skipSet,
                                const std::string& stopSet) {
  if (!text.empty()) {
    app.decomposerTampon = bridge::IsValidUtf8(text) ? text : SanitizeUtf8(text);
    app.decomposerPosition = 0;
  }
  const std::string& buf = app.decomposerTampon;
  size_t& pos = app.decomposerPosition;
  const std::string skip = bridge::IsValidUtf8(skipSet) ? skipSet : SanitizeUtf8(skipSet);
  const std::string stop = bridge::IsValidUtf8(stopSet) ? stopSet : SanitizeUtf8(stopSet);
  while (pos < buf.size() && DansEnsemble(buf, pos, skip)) pos += LongueurCaractere(static_cast<unsigned char>(buf[pos]));
  while (pos < buf.size() && buf[pos] == '\t') ++pos;
  if (pos >= buf.size()) return {};
  size_t end;
  if (stop.empty()) {
    end = buf.size();
  } else if (Ascii(stop)) {
    // An ASCII byte is never part of another character.
    end = stop.size() == 1 ? buf.find(stop[0], pos) : buf.find_first_of(stop, pos);
    if (end == std::string::npos) end = buf.size();
  } else {
    end = pos;
    while (end < buf.size() && !DansEnsemble(buf, end, stop)) end += LongueurCaractere(static_cast<unsigned char>(buf[end]));
  }
  std::string token = buf.substr(pos, end - pos);
  pos = end < buf.size() ? end + LongueurCaractere(static_cast<unsigned char>(buf[end])) : buf.size();
  return token;
}

}  // namespace kup
