#pragma once
// Libraries as a registry of in-process functions: (library file name,
// entry) -> function. A library loads when it has at least one entry; its
// name is matched on the file name without regard to case, whatever folder
// the caller gives. Entry names are matched exactly, as GetProcAddress does.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "vb/VbString.h"
#include "platform/Interfaces.h"

namespace kup::platform {

class FakeDynamicLibraries : public IDynamicLibraries {
 public:
  template <class F>
  void add(const std::string& library, const std::string& entry, F* function) {
    addRaw(library, entry, reinterpret_cast<void*>(function));
  }
  void addRaw(const std::string& library, const std::string& entry, void* address) {
    entries[{UCase(FileName(library)), entry}] = address;
  }

  long load(const std::string& path) override {
    loads.push_back(path);
    std::string key = UCase(FileName(path));
    for (auto& [k, _] : entries)
      if (k.first == key) {
        for (auto& [h, name] : handles)
          if (name == key) return h;
        long h = static_cast<long>(handles.size()) + 0x7000;
        handles[h] = key;
        return h;
      }
    return 0;
  }
  void* symbol(long handle, const std::string& name) override {
    lookups.push_back(name);
    auto h = handles.find(handle);
    if (h == handles.end()) return nullptr;
    auto it = entries.find({h->second, name});
    return it == entries.end() ? nullptr : it->second;
  }

  std::vector<std::string> loads;    // every path asked for
  std::vector<std::string> lookups;  // every entry asked for

 private:
  static std::string FileName(const std::string& path) {
    auto pos = path.find_last_of("\\/");
    return pos == std::string::npos ? path : path.substr(pos + 1);
  }
  std::map<std::pair<std::string, std::string>, void*> entries;
  std::map<long, std::string> handles;
};

}  // namespace kup::platform
