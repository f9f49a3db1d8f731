#include "platform/RealEnvironment.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "vb/VbError.h"
#include "platform/PathText.h"

namespace kup::platform {

namespace {
std::string WithoutTrailingSeparator(std::string s) {
  while (s.size() > 1 && (s.back() == '/' || s.back() == '\\') && !(s.size() == 3 && s[1] == ':')) s.pop_back();
  return s;
}
}  // namespace

std::string ExecutableFolder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return WithoutTrailingSeparator(std::filesystem::current_path().string());
  std::string exe(buf, static_cast<size_t>(n));
  auto slash = exe.find_last_of('/');
  return slash == 0 ? "/" : exe.substr(0, slash);
}

RealEnvironment::RealEnvironment(const IFileSystem* fs) : fs_(fs) {}

// The environment holds host bytes (folders above all); the program gets
// them as texts that lead back to the same bytes. A value may be a path
// text written by a person: its "\" separates.
std::string RealEnvironment::get(const std::string& name) const {
  const char* v = name.empty() ? nullptr : std::getenv(name.c_str());
  return v ? HostValueToText(v) : std::string();
}

void RealEnvironment::set(const std::string& name, const std::string& value) {
  if (name.empty() || name.find('=') != std::string::npos || value.find('\0') != std::string::npos)
    raise(vberr::InvalidCall);
  std::string v = value;
  if (name == "PATH") {
    // Callers written for Windows join search folders with ";" and may name
    // them as path texts: the host wants ":" and host folders.
    std::string out;
    size_t i = 0;
    while (i <= v.size()) {
      size_t j = v.find_first_of(";:", i);
      // A drive prefix "C:" is not a separator.
      while (j != std::string::npos && v[j] == ':' && j == i + 1) j = v.find_first_of(";:", j + 1);
      if (j == std::string::npos) j = v.size();
      std::string entry = v.substr(i, j - i);
      if (!entry.empty()) {
        bool windows = entry.find('\\') != std::string::npos || (entry.size() >= 2 && entry[1] == ':');
        entry = windows && fs_ ? fs_->hostPath(entry) : TextToHostName(entry);
        out += (out.empty() ? "" : ":") + entry;
      }
      i = j + 1;
    }
    v = out;
  } else {
    v = TextToHostName(v);
  }
  ::setenv(name.c_str(), v.c_str(), 1);
}

std::string RealEnvironment::tempFolder() const {
  std::string t = get("TEMP");
  if (t.empty()) {
    std::error_code ec;
    t = HostNameToText(std::filesystem::temp_directory_path(ec).string());
    if (ec || t.empty()) t = "/tmp";
  }
  return WithoutTrailingSeparator(t);
}

std::string RealEnvironment::programFolder() const { return HostNameToText(ExecutableFolder()); }

std::string RealEnvironment::currentFolder() const {
  std::error_code ec;
  auto p = std::filesystem::current_path(ec);
  return ec ? std::string("/") : WithoutTrailingSeparator(HostNameToText(p.string()));
}

void RealEnvironment::setCurrentFolder(const std::string& path) {
  std::string host = fs_ ? fs_->hostPath(path) : TextToHostName(path);
  if (host.empty() || ::chdir(host.c_str()) != 0) raise(vberr::PathNotFound, vbErrorText(vberr::PathNotFound) + " (" + path + ")");
}

uint32_t RealEnvironment::tickCount() const {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

std::time_t RealEnvironment::now() const { return std::time(nullptr); }

// ---------------------------------------------------------------- random

namespace {
uint64_t SplitMix(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
}  // namespace

RealRandom::RealRandom() { randomize(); }

void RealRandom::randomize() {
  uint64_t seed = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
                  (static_cast<uint64_t>(::getpid()) << 32) ^ (++reseeds_ * 0xD1B54A32D192ED03ull);
  state_[0] = SplitMix(seed);
  state_[1] = SplitMix(seed);
}

double RealRandom::rnd() {
  // xorshift128+: 53 bits of the sum give a value in [0, 1).
  uint64_t s1 = state_[0];
  const uint64_t s0 = state_[1];
  state_[0] = s0;
  s1 ^= s1 << 23;
  state_[1] = s1 ^ s0 ^ (s1 >> 17) ^ (s0 >> 26);
  return static_cast<double>((state_[1] + s0) >> 11) * (1.0 / 9007199254740992.0);
}

}  // namespace kup::platform
