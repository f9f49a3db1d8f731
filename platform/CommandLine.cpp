#include <cctype>

#include "platform/Interfaces.h"

namespace kup::platform {

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

// The program name: up to the closing quote when it starts with one (no
// escapes), else up to the first blank. Returns the position after it.
size_t ProgramName(const std::string& s, size_t i, std::string& out) {
  if (i < s.size() && s[i] == '"') {
    size_t end = s.find('"', i + 1);
    if (end == std::string::npos) end = s.size();
    out = s.substr(i + 1, end - i - 1);
    return end < s.size() ? end + 1 : end;
  }
  size_t end = i;
  while (end < s.size() && !Blank(s[end])) ++end;
  out = s.substr(i, end - i);
  return end;
}

// The arguments after the program name: blanks separate outside quotes; 2n
// backslashes before a quote give n backslashes and the quote opens or
// closes a group; 2n+1 give n and a literal quote; "" inside a group is a
// literal quote; other backslashes are themselves.
void Arguments(const std::string& s, size_t i, std::vector<std::string>& out) {
  for (;;) {
    while (i < s.size() && Blank(s[i])) ++i;
    if (i >= s.size()) return;
    std::string arg;
    bool quoted = false;
    while (i < s.size() && (quoted || !Blank(s[i]))) {
      if (s[i] == '\\') {
        size_t n = 0;
        while (i < s.size() && s[i] == '\\') ++n, ++i;
        if (i < s.size() && s[i] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(n, '\\');
        }
      } else if (s[i] == '"') {
        if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += s[i++];
      }
    }
    out.push_back(std::move(arg));
  }
}

bool HasExtension(const std::string& name) {
  auto dot = name.find_last_of('.');
  auto sep = name.find_last_of("\\/");
  return dot != std::string::npos && (sep == std::string::npos || dot > sep);
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  return SplitCommandLine(commandLine, nullptr);
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine,
                                          const std::function<bool(const std::string&)>& programExists) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < commandLine.size() && Blank(commandLine[i])) ++i;
  if (i >= commandLine.size()) return out;
  std::string program;
  size_t next = ProgramName(commandLine, i, program);
  if (programExists && commandLine[i] != '"' && next < commandLine.size()) {
    // Longer and longer prefixes ending at a blank.
    size_t end = next;
    for (;;) {
      std::string candidate = commandLine.substr(i, end - i);
      if (programExists(candidate) || (!HasExtension(candidate) && programExists(candidate + ".exe"))) {
        program = candidate;
        next = end;
        break;
      }
      if (end >= commandLine.size()) break;
      size_t b = end;
      while (b < commandLine.size() && Blank(commandLine[b])) ++b;
      if (b >= commandLine.size()) break;
      end = b;
      while (end < commandLine.size() && !Blank(commandLine[end])) ++end;
    }
  }
  out.push_back(program);
  Arguments(commandLine, next, out);
  return out;
}

}  // namespace kup::platform
