#include "data/OraBackend.h"

#include "vb/VbError.h"

namespace kup {

namespace {

bool IsSqlState(const std::string& s) {
  if (s.size() != 5) return false;
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))) return false;
  return true;
}

constexpr size_t kMaxIdentifier = 63;

}  // namespace

int32_t SqlStateNumber(const std::string& sqlstate) {
  std::string s = IsSqlState(sqlstate) && sqlstate.compare(0, 2, "00") != 0 ? sqlstate : "XX000";
  int32_t n = 0;
  for (char c : s) n = n * 36 + (c <= '9' ? c - '0' : c - 'A' + 10);
  return n;
}

void CheckProcedureName(const std::string& name) {
  size_t length = 0;
  bool plain = !name.empty();
  for (unsigned char c : name) {
    if (!plain) break;
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    bool digit = (c >= '0' && c <= '9') || c == '$';
    if (c == '.') {
      plain = length > 0;
      length = 0;
      continue;
    }
    plain = length == 0 ? letter : (letter || digit);
    ++length;
  }
  if (!plain || length == 0) raise(SqlStateNumber("42602"), "42602: nom de procédure incorrect : " + name);
  length = 0;
  for (char c : name + ".") {
    if (c != '.') {
      ++length;
      continue;
    }
    if (length > kMaxIdentifier)
      raise(SqlStateNumber("42602"), "42602: nom de procédure trop long (plus de 63 octets par partie) : " + name);
    length = 0;
  }
}

}  // namespace kup
