#pragma once
// In-memory file system over the same path texts as the real one. Names are
// looked up without regard to case and keep the case they were created
// with, as on the workstation. It holds no links. Tests can make any path
// fail.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Interfaces.h"
#include "platform/PathText.h"

namespace kup::platform {

class FakeFileSystem : public IFileSystem {
 public:
  FakeFileSystem();
  ~FakeFileSystem() override;

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
  int64_t fileSize(const std::string& path) const override;
  std::time_t modifiedTime(const std::string& path) const override;
  void setModifiedTime(const std::string& path, std::time_t t) override;
  std::string createNewTempFile(const std::function<std::string()>& draw, int tries,
                                const std::string& bytes) override;

  // ---- test helpers
  // Writes a file, creating its folders; stamped with `clock` unless given.
  void put(const std::string& path, const std::string& bytes, std::time_t mtime = -1);
  // Which operations a failure applies to.
  enum class Op { Read = 1, Write = 2, Any = 3 };
  // Every later operation of that kind on the path raises the VB error number.
  void fail(const std::string& path, int number, Op op = Op::Any);
  void clearFailures();
  // The canonical text of a path (relative texts resolved against `currentFolder`).
  std::string canonical(const std::string& path) const;
  // Every path text of a file, in the listing order (for inspections).
  std::vector<std::string> allFiles() const;

  std::time_t clock = 1700000000;  // stamp of files written
  std::string currentFolder = "C:\\";
  DriveMap drives{{}, "/fake/drives", "/fake/unc"};
  // One line per change: "write <path>", "append", "remove", "mkdir", "copy <a> -> <b>",
  // "rename <a> -> <b>", "replace <a> -> <b>", "touch <path>", "create <path>" (a new
  // temporary file).
  std::vector<std::string> journal;

 private:
  struct Node;
  PathText resolve(const std::string& path) const;
  bool valid(const std::string& path) const;  // names a place (else the queries answer "absent")
  Node* find(const PathText& p) const;
  PathText onDisk(PathText p) const;  // the names found, as they were created
  Node* parentOf(const PathText& p, bool create);
  Node* rootOf(const PathText& p, bool create) const;
  void check(const PathText& p, Op op) const;
  Node& fileForWrite(const PathText& p);

  std::unique_ptr<Node> top_;  // children: the roots ("C:", "\\SRV\SHARE", "/")
  std::map<std::string, std::pair<int, Op>> failures_;  // upper-cased canonical text
};

}  // namespace kup::platform
