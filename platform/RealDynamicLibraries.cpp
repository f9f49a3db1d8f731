#include "platform/RealDynamicLibraries.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "vb/VbString.h"
#include "platform/PathText.h"
#include "platform/RealEnvironment.h"

namespace kup::platform {

namespace {

bool IsFile(const std::string& host) {
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "x.so" then "libx.so" for a stem "x".
std::vector<std::string> SharedObjectNames(const std::string& stem) { return {stem + ".so", "lib" + stem + ".so"}; }

}  // namespace

RealDynamicLibraries::RealDynamicLibraries(const IFileSystem* fs, ILog* log) : fs_(fs), log_(log) {}

long RealDynamicLibraries::remember(void* handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [id, h] : handles_)
    if (h == handle) return id;
  long id = next_++;
  handles_[id] = handle;
  return id;
}

long RealDynamicLibraries::load(const std::string& path) {
  if (path.empty()) return 0;
  bool hasFolder = path.find_first_of("\\/") != std::string::npos || (path.size() >= 2 && path[1] == ':');
  bool windowsName = path.size() > 4 && EqualsNoCase(path.substr(path.size() - 4), ".dll");
  std::vector<std::string> tries;  // host paths or bare names for dlopen
  if (windowsName) {
    std::string stem;
    std::vector<std::string> folders;
    if (hasFolder) {
      std::string host = fs_ ? fs_->hostPath(path) : DriveMap{}.hostPath(PathText::Parse(path));
      auto slash = host.find_last_of('/');
      folders.push_back(slash == std::string::npos ? "." : (slash == 0 ? "" : host.substr(0, slash)));
      stem = host.substr(slash == std::string::npos ? 0 : slash + 1);
      stem.resize(stem.size() - 4);
    } else {
      stem = path.substr(0, path.size() - 4);
      folders.push_back(ExecutableFolder());
      char cwd[4096];
      if (::getcwd(cwd, sizeof cwd)) folders.emplace_back(cwd);
      if (const char* env = std::getenv("PATH")) {
        std::string p(env);
        size_t i = 0;
        while (i <= p.size()) {
          size_t j = p.find(':', i);
          if (j == std::string::npos) j = p.size();
          if (j > i) folders.push_back(p.substr(i, j - i));
          i = j + 1;
        }
      }
    }
    for (auto& f : folders)
      for (auto& name : SharedObjectNames(stem))
        if (IsFile(f + "/" + name)) tries.push_back(f + "/" + name);
    if (!hasFolder)
      for (auto& name : SharedObjectNames(stem)) tries.push_back(name);
  } else if (hasFolder) {
    tries.push_back(fs_ ? fs_->hostPath(path) : DriveMap{}.hostPath(PathText::Parse(path)));
  } else {
    tries.push_back(path);
  }

  std::string errors;
  for (auto& t : tries) {
    if (void* h = ::dlopen(t.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      if (log_) log_->write("dll", "\"" + path + "\" loaded from " + t);
      return remember(h);
    }
    const char* e = ::dlerror();
    errors += std::string(errors.empty() ? "" : "; ") + (e ? e : t);
  }
  if (log_) log_->write("dll", "\"" + path + "\" not loaded" + (errors.empty() ? "" : ": " + errors));
  return 0;
}

void* RealDynamicLibraries::symbol(long handle, const std::string& name) {
  void* h = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) return nullptr;
    h = it->second;
  }
  ::dlerror();
  return ::dlsym(h, name.c_str());
}

}  // namespace kup::platform
