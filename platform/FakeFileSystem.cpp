#include "platform/FakeFileSystem.h"

#include <algorithm>

#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup::platform {

struct FakeFileSystem::Node {
  std::string name;
  bool folder = true;
  std::string bytes;
  std::time_t mtime = 0;
  std::map<std::string, std::unique_ptr<Node>> children;  // upper-cased name
};

namespace {
std::string RootKey(const PathText& p) {
  switch (p.kind) {
    case PathText::Kind::Drive: return std::string(1, p.drive) + ":";
    case PathText::Kind::Unc: return UCase("\\\\" + p.server + "\\" + p.share);
    default: return "/";
  }
}
}  // namespace

FakeFileSystem::FakeFileSystem() : top_(std::make_unique<Node>()) {}
FakeFileSystem::~FakeFileSystem() = default;

PathText FakeFileSystem::resolve(const std::string& path) const {
  if (path.empty() || path.find('\0') != std::string::npos) raise(vberr::PathFileAccess);
  PathText p = PathText::Parse(path);
  if (p.kind == PathText::Kind::Relative) p = p.under(PathText::Parse(currentFolder));
  if (p.kind == PathText::Kind::Unc && (p.server.empty() || p.share.empty())) raise(vberr::PathNotFound);
  return p;
}

bool FakeFileSystem::valid(const std::string& path) const {
  try {
    resolve(path);
    return true;
  } catch (const VbError&) {
    return false;
  }
}

std::string FakeFileSystem::canonical(const std::string& path) const { return resolve(path).text(); }

FakeFileSystem::Node* FakeFileSystem::rootOf(const PathText& p, bool create) const {
  std::string key = RootKey(p);
  auto it = top_->children.find(key);
  if (it != top_->children.end()) return it->second.get();
  // Drive roots and "/" always exist; shares too (a share is just a name).
  auto node = std::make_unique<Node>();
  node->name = p.kind == PathText::Kind::Unc ? "\\\\" + p.server + "\\" + p.share : key;
  Node* raw = node.get();
  top_->children.emplace(key, std::move(node));
  return raw;
}

FakeFileSystem::Node* FakeFileSystem::find(const PathText& p) const {
  Node* n = rootOf(p, false);
  for (auto& part : p.parts) {
    if (!n->folder) return nullptr;
    auto it = n->children.find(UCase(part));
    if (it == n->children.end()) return nullptr;
    n = it->second.get();
  }
  return n;
}

FakeFileSystem::Node* FakeFileSystem::parentOf(const PathText& p, bool create) {
  Node* n = rootOf(p, true);
  for (size_t i = 0; i + 1 < p.parts.size(); ++i) {
    auto key = UCase(p.parts[i]);
    auto it = n->children.find(key);
    if (it == n->children.end()) {
      if (!create) return nullptr;
      auto child = std::make_unique<Node>();
      child->name = p.parts[i];
      it = n->children.emplace(key, std::move(child)).first;
    }
    n = it->second.get();
    if (!n->folder) return nullptr;
  }
  return n;
}

void FakeFileSystem::check(const PathText& p, Op op) const {
  auto it = failures_.find(UCase(p.text()));
  if (it != failures_.end() && (static_cast<int>(it->second.second) & static_cast<int>(op))) raise(it->second.first);
}

PathText FakeFileSystem::onDisk(PathText p) const {
  Node* n = rootOf(p, false);
  for (auto& part : p.parts) {
    auto it = n->folder ? n->children.find(UCase(part)) : n->children.end();
    if (it == n->children.end()) break;
    n = it->second.get();
    part = n->name;
  }
  return p;
}

std::string FakeFileSystem::hostPath(const std::string& path) const { return drives.hostPath(onDisk(resolve(path))); }

std::string FakeFileSystem::resolvedPath(const std::string& path) const {
  if (!valid(path) || !find(resolve(path))) return {};
  return onDisk(resolve(path)).text();
}

bool FakeFileSystem::fileExists(const std::string& path) const {
  if (!valid(path)) return false;
  Node* n = find(resolve(path));
  return n && !n->folder;
}

bool FakeFileSystem::folderExists(const std::string& path) const {
  if (!valid(path)) return false;
  Node* n = find(resolve(path));
  return n && n->folder;
}

std::vector<std::string> FakeFileSystem::listFiles(const std::string& folder) const {
  std::vector<std::string> out;
  if (!valid(folder)) return out;
  Node* n = find(resolve(folder));
  if (!n || !n->folder) return out;
  check(resolve(folder), Op::Read);
  for (auto& [_, c] : n->children)
    if (!c->folder && !c->name.empty() && c->name[0] != '.') out.push_back(c->name);
  return out;
}

std::vector<std::string> FakeFileSystem::listFolders(const std::string& folder) const {
  std::vector<std::string> out;
  if (!valid(folder)) return out;
  Node* n = find(resolve(folder));
  if (!n || !n->folder) return out;
  check(resolve(folder), Op::Read);
  for (auto& [_, c] : n->children)
    if (c->folder && !c->name.empty() && c->name[0] != '.') out.push_back(c->name);
  return out;
}

std::string FakeFileSystem::readFile(const std::string& path) const {
  PathText p = resolve(path);
  check(p, Op::Read);
  Node* n = find(p);
  if (!n) {
    PathText parent = p;
    if (!parent.parts.empty()) parent.parts.pop_back();
    Node* f = find(parent);
    raise(f && f->folder ? vberr::FileNotFound : vberr::PathNotFound);
  }
  if (n->folder) raise(vberr::PathFileAccess);
  return n->bytes;
}

FakeFileSystem::Node& FakeFileSystem::fileForWrite(const PathText& p) {
  check(p, Op::Write);
  if (p.parts.empty()) raise(vberr::PathFileAccess);
  Node* parent = parentOf(p, false);
  if (!parent) raise(vberr::PathNotFound);
  auto key = UCase(p.parts.back());
  auto it = parent->children.find(key);
  if (it == parent->children.end()) {
    auto child = std::make_unique<Node>();
    child->name = p.parts.back();
    child->folder = false;
    it = parent->children.emplace(key, std::move(child)).first;
  } else if (it->second->folder) {
    raise(vberr::PathFileAccess);
  }
  return *it->second;
}

void FakeFileSystem::writeFile(const std::string& path, const std::string& bytes) {
  PathText p = resolve(path);
  Node& n = fileForWrite(p);
  n.bytes = bytes;
  n.mtime = clock;
  journal.push_back("write " + p.text());
}

void FakeFileSystem::appendFile(const std::string& path, const std::string& bytes) {
  PathText p = resolve(path);
  Node& n = fileForWrite(p);
  n.bytes += bytes;
  n.mtime = clock;
  journal.push_back("append " + p.text());
}

void FakeFileSystem::removeFile(const std::string& path) {
  PathText p = resolve(path);
  check(p, Op::Write);
  Node* n = find(p);
  if (!n || n->folder || p.parts.empty()) raise(n ? vberr::PathFileAccess : vberr::FileNotFound);
  parentOf(p, false)->children.erase(UCase(p.parts.back()));
  journal.push_back("remove " + p.text());
}

void FakeFileSystem::createFolder(const std::string& path) {
  PathText p = resolve(path);
  check(p, Op::Write);
  Node* n = rootOf(p, true);
  for (auto& part : p.parts) {
    auto key = UCase(part);
    auto it = n->children.find(key);
    if (it == n->children.end()) {
      auto child = std::make_unique<Node>();
      child->name = part;
      it = n->children.emplace(key, std::move(child)).first;
    }
    n = it->second.get();
    if (!n->folder) raise(vberr::PathFileAccess);
  }
  journal.push_back("mkdir " + p.text());
}

void FakeFileSystem::copyFile(const std::string& from, const std::string& to) {
  PathText a = resolve(from), b = resolve(to);
  check(a, Op::Read);
  std::string bytes = readFile(from);
  std::time_t mtime = find(a)->mtime;
  Node& n = fileForWrite(b);
  n.bytes = bytes;
  n.mtime = mtime;  // a copy keeps the date of its source
  journal.push_back("copy " + a.text() + " -> " + b.text());
}

void FakeFileSystem::renameFile(const std::string& from, const std::string& to) {
  PathText a = resolve(from), b = resolve(to);
  check(a, Op::Write);
  check(b, Op::Write);
  Node* n = find(a);
  if (!n || a.parts.empty()) raise(vberr::FileNotFound);
  Node* target = find(b);
  if (target && target != n) raise(vberr::FileAlreadyExists);
  Node* dest = parentOf(b, false);
  if (!dest || b.parts.empty()) raise(vberr::PathNotFound);
  Node* src = parentOf(a, false);
  auto owned = std::move(src->children[UCase(a.parts.back())]);
  src->children.erase(UCase(a.parts.back()));
  owned->name = b.parts.back();
  dest->children[UCase(b.parts.back())] = std::move(owned);
  journal.push_back("rename " + a.text() + " -> " + b.text());
}

void FakeFileSystem::replaceFile(const std::string& from, const std::string& to) {
  PathText a = resolve(from), b = resolve(to);
  check(a, Op::Write);
  check(b, Op::Write);
  Node* n = find(a);
  if (!n || a.parts.empty()) raise(vberr::FileNotFound);
  if (n->folder) raise(vberr::PathFileAccess);
  Node* target = find(b);
  if (target && target->folder) raise(vberr::PathFileAccess);
  Node* dest = parentOf(b, false);
  if (!dest || b.parts.empty()) raise(vberr::PathNotFound);
  if (target == n) return;
  Node* src = parentOf(a, false);
  auto owned = std::move(src->children[UCase(a.parts.back())]);
  src->children.erase(UCase(a.parts.back()));
  owned->name = b.parts.back();
  dest->children[UCase(b.parts.back())] = std::move(owned);
  journal.push_back("replace " + a.text() + " -> " + b.text());
}

bool FakeFileSystem::isLink(const std::string&) const { return false; }

int64_t FakeFileSystem::fileSize(const std::string& path) const {
  if (!valid(path)) return -1;
  Node* n = find(resolve(path));
  return n && !n->folder ? static_cast<int64_t>(n->bytes.size()) : -1;
}

std::time_t FakeFileSystem::modifiedTime(const std::string& path) const {
  PathText p = resolve(path);
  check(p, Op::Read);
  Node* n = find(p);
  if (!n) raise(vberr::FileNotFound);
  return n->mtime;
}

void FakeFileSystem::setModifiedTime(const std::string& path, std::time_t t) {
  PathText p = resolve(path);
  check(p, Op::Write);
  Node* n = find(p);
  if (!n) raise(vberr::FileNotFound);
  n->mtime = t;
  journal.push_back("touch " + p.text());
}

std::string FakeFileSystem::createNewTempFile(const std::function<std::string()>& draw, int tries,
                                              const std::string& bytes) {
  std::string path;
  for (int i = 0; i < tries; ++i) {
    path = draw();
    PathText p = resolve(path);
    check(p, Op::Write);
    if (find(p)) continue;
    Node& n = fileForWrite(p);
    n.bytes = bytes;
    n.mtime = clock;
    journal.push_back("create " + p.text());
    return path;
  }
  raise(vberr::FileAlreadyExists, vbErrorText(vberr::FileAlreadyExists) + " (" + path + ")");
}

void FakeFileSystem::put(const std::string& path, const std::string& bytes, std::time_t mtime) {
  PathText p = resolve(path);
  parentOf(p, true);
  Node& n = fileForWrite(p);
  n.bytes = bytes;
  n.mtime = mtime == -1 ? clock : mtime;
}

void FakeFileSystem::fail(const std::string& path, int number, Op op) {
  failures_[UCase(resolve(path).text())] = {number, op};
}

void FakeFileSystem::clearFailures() { failures_.clear(); }

std::vector<std::string> FakeFileSystem::allFiles() const {
  std::vector<std::string> out;
  struct Walk {
    std::vector<std::string>& out;
    void operator()(const Node& n, const std::string& prefix, const std::string& sep) {
      for (auto& [_, c] : n.children) {
        std::string t = prefix + c->name;
        if (c->folder)
          (*this)(*c, t + sep, sep);
        else
          out.push_back(t);
      }
    }
  } walk{out};
  for (auto& [key, root] : top_->children) {
    if (key == "/")
      walk(*root, "/", "/");
    else
      walk(*root, root->name + "\\", "\\");
  }
  return out;
}

}  // namespace kup::platform
