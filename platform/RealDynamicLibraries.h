#pragma once
// LoadLibrary/GetProcAddress over dlopen/dlsym. A Windows library name
// ("x.dll", without regard to case) stands for the shared object beside it:
// "x.so", else "libx.so", in the same folder. A bare "x.dll" is searched as
// Windows would: the executable's folder, the current folder, the PATH
// folders, then the system search path. Any other bare name goes straight
// to the system search path. Libraries stay loaded for the life of the
// process (the entries handed out must stay valid).
#include <map>
#include <mutex>

#include "platform/Interfaces.h"

namespace kup::platform {

class RealDynamicLibraries : public IDynamicLibraries {
 public:
  RealDynamicLibraries(const IFileSystem* fs, ILog* log);
  long load(const std::string& path) override;
  void* symbol(long handle, const std::string& name) override;

 private:
  long remember(void* handle);
  const IFileSystem* fs_;
  ILog* log_;
  std::mutex mutex_;
  std::map<long, void*> handles_;
  long next_ = 1;
};

}  // namespace kup::platform
