#pragma once
// A scratch host folder removed at the end of the test.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/kup-platform-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(path + "/" + name).parent_path());
    std::ofstream(path + "/" + name, std::ios::binary) << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};
