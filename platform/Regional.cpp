#include <cstdio>

#include "platform/Interfaces.h"

namespace kup::platform {

namespace {

// Expands a Windows date/time picture: d dd M MM yy yyyy H HH h hh m mm s ss
// tt, "/" and ":" as the profile's separators, text in single quotes kept.
std::string Expand(const RegionalProfile& p, const std::string& picture, const std::tm& t) {
  std::string out;
  auto num = [&](int v, size_t width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", static_cast<int>(width), v);
    out += buf;
  };
  for (size_t i = 0; i < picture.size();) {
    char c = picture[i];
    size_t n = 1;
    while (i + n < picture.size() && picture[i + n] == c) ++n;
    switch (c) {
      case 'd': num(t.tm_mday, n >= 2 ? 2 : 1); break;
      case 'M': num(t.tm_mon + 1, n >= 2 ? 2 : 1); break;
      case 'y':
        if (n >= 3)
          num(t.tm_year + 1900, 4);
        else
          num((t.tm_year + 1900) % 100, n >= 2 ? 2 : 1);
        break;
      case 'H': num(t.tm_hour, n >= 2 ? 2 : 1); break;
      case 'h': num(t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12, n >= 2 ? 2 : 1); break;
      case 'm': num(t.tm_min, n >= 2 ? 2 : 1); break;
      case 's': num(t.tm_sec, n >= 2 ? 2 : 1); break;
      case 't': out += t.tm_hour < 12 ? (n >= 2 ? "AM" : "A") : (n >= 2 ? "PM" : "P"); break;
      case '/': out += p.dateSeparator; n = 1; break;
      case ':': out += p.timeSeparator; n = 1; break;
      case '\'': {
        size_t end = picture.find('\'', i + 1);
        if (end == std::string::npos) end = picture.size();
        out += picture.substr(i + 1, end - i - 1);
        n = end - i + 1;
        break;
      }
      default: out.append(n, c); break;
    }
    i += n;
  }
  return out;
}

}  // namespace

std::string FormatShortDate(const RegionalProfile& p, const std::tm& t) { return Expand(p, p.shortDate, t); }

std::string FormatLongTime(const RegionalProfile& p, const std::tm& t) { return Expand(p, p.longTime, t); }

std::string FormatGeneralDate(const RegionalProfile& p, const std::tm& t) {
  bool midnight = t.tm_hour == 0 && t.tm_min == 0 && t.tm_sec == 0;
  // Day zero of the VB calendar (30/12/1899) is a time alone.
  bool dayZero = t.tm_year == -1 && t.tm_mon == 11 && t.tm_mday == 30;
  if (dayZero) return FormatLongTime(p, t);
  if (midnight) return FormatShortDate(p, t);
  return FormatShortDate(p, t) + " " + FormatLongTime(p, t);
}

}  // namespace kup::platform
