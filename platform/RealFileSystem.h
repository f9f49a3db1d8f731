#pragma once
// The host file system under the system's Windows path texts. Drives and
// shares are mapped by a DriveMap (see PathText.h for its configuration
// text). Names are read as Windows reads them: a name that is not there as
// written takes the one entry of its folder that differs from it only in
// case (with several, the name stays as written and the doubt is logged);
// names are created as given and listed as they are on the disk.
#include <sys/stat.h>

#include "platform/Interfaces.h"
#include "platform/PathText.h"

namespace kup::platform {

class RealFileSystem : public IFileSystem {
 public:
  explicit RealFileSystem(DriveMap map, ILog* log = nullptr);

  std::string hostPath(const std::string& path) const override;
  std::string resolvedPath(const std::string& path) const override;
  bool fileExists(const std::string& path) const override;
  bool folderExists(const std::string& path) const override;
  std::vector<std::string> listFiles(const std::string& folder) const override;
  std::vector<std::string> listFolders(const std::string& folder) const override;
  std::string readFile(const std::string& path) const override;
  void writeFile(const std::string& path, const std::string& bytes) override;
  void appendFile(const std::string& path, const std::string& bytes) override;
  void removeFile(const std::string& path) override;
  void createFolder(const std::string& path) override;
  void copyFile(const std::string& from, const std::string& to) override;
  void renameFile(const std::string& from, const std::string& to) override;
  void replaceFile(const std::string& from, const std::string& to) override;
  bool isLink(const std::string& path) const override;
  bool isOwnFile(const std::string& path) const override;
  int64_t fileSize(const std::string& path) const override;
  std::time_t modifiedTime(const std::string& path) const override;
  void setModifiedTime(const std::string& path, std::time_t t) override;
  std::string createNewTempFile(const std::function<std::string()>& draw, int tries,
                                const std::string& bytes) override;

  const DriveMap& drives() const { return map_; }

 private:
  // Host path, raising 76 for texts that name no place (empty, "\\" alone).
  std::string mapped(const std::string& path) const;
  // The host path of a text as it is found on the disk; `st` gets what
  // lstat says of it, false when nothing is there.
  bool locate(const PathText& p, std::string& host, struct stat& st) const;
  // As locate, a link followed; false for a text that names no place.
  bool probe(const std::string& path, std::string& host, struct stat& st) const;
  void write(const std::string& path, const std::string& bytes, bool append);

  DriveMap map_;
  ILog* log_;
};

// Opens a host file for writing that did not exist, never through a link,
// private to its owner (0600): a descriptor, or -1 with errno set (EEXIST
// when the name is taken, whatever holds it).
int OpenNewPrivateFile(const std::string& hostPath);

}  // namespace kup::platform
