#pragma once
// The UI bridge: the Flash control replaced by frames on the standard input
// and output of the process.
//
//     <KIND> <N>\n<N bytes of UTF-8>\n
//
// REQ (UI to container) carries one request; RET (container to UI) ends the
// pending request with the value set during it (N = 0 when none); CALL
// (container to UI) is a call into the UI, sent at any time.
//
// The frame codec is header-only so that the bridge client and the tests can
// speak the protocol without linking the container.
#include <cerrno>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include "platform/Interfaces.h"

namespace kup::bridge {

// A header is a kind of up to eight capitals, a blank and up to 19 digits;
// anything longer is garbage.
constexpr size_t kMaxHeaderLine = 28;
// Requests carry whole documents in base64; beyond this a payload is refused
// (and skipped without being held in memory).
constexpr size_t kMaxPayload = size_t(256) << 20;

inline std::string EncodeFrame(std::string_view kind, std::string_view payload) {
  std::string out;
  out.reserve(kind.size() + payload.size() + 16);
  out.append(kind);
  out += ' ';
  out += std::to_string(payload.size());
  out += '\n';
  out.append(payload);
  out += '\n';
  return out;
}

// Writes every byte to a descriptor, waiting when it is non-blocking (the
// standard streams may share one open file with a descriptor set
// non-blocking by the event loop). False when the reader has gone.
inline bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(size_t(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, -1);
    } else {
      return false;
    }
  }
  return true;
}

// Writes one frame without gathering it into one buffer first (a reply may
// be as large as a whole document). False when the reader has gone.
inline bool WriteFrame(int fd, std::string_view kind, std::string_view payload) {
  char head[40];
  size_t h = std::min(kind.size(), size_t(8));
  std::memcpy(head, kind.data(), h);
  head[h++] = ' ';
  std::string len = std::to_string(payload.size());
  std::memcpy(head + h, len.data(), len.size());
  h += len.size();
  head[h++] = '\n';
  iovec iov[3] = {{head, h}, {const_cast<char*>(payload.data()), payload.size()}, {const_cast<char*>("\n"), 1}};
  int first = 0;
  while (first < 3) {
    ssize_t n = ::writev(fd, iov + first, 3 - first);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, -1);
        continue;
      }
      return false;
    }
    size_t left = size_t(n);
    while (first < 3 && left >= iov[first].iov_len) {
      left -= iov[first].iov_len;
      ++first;
    }
    if (first < 3) {
      iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + left;
      iov[first].iov_len -= left;
    }
  }
  return true;
}

// Cuts an incoming byte stream into frames. Damaged input never stops the
// reader: a line that is not a header is reported once and skipped, then
// lines are dropped until one reads as a header again.
class FrameReader {
 public:
  struct Item {
    bool ok = true;          // a whole frame, else an error
    std::string kind;        // "REQ", "RET", "CALL", ... (also on some errors)
    std::string payload;
    std::string error;       // what was wrong (when !ok)
  };

  void feed(std::string_view bytes) {
    if (direct_ && body_.size() < len_ + 1) {
      size_t k = std::min(bytes.size(), len_ + 1 - body_.size());
      body_.append(bytes.substr(0, k));
      bytes.remove_prefix(k);
    }
    buf_.append(bytes);
  }

  // The next frame or error; nullopt when more input is needed.
  std::optional<Item> next() {
    for (;;) {
      compact();
      if (skipLeft_ > 0 || skipNewline_) {
        if (!skipOversized()) return std::nullopt;
        continue;
      }
      if (haveHeader_) return payload();
      if (dropLine_) {
        size_t nl = buf_.find('\n', pos_);
        if (nl == std::string::npos) {
          pos_ = buf_.size();
          return std::nullopt;
        }
        pos_ = nl + 1;
        dropLine_ = false;
        continue;
      }
      size_t nl = buf_.find('\n', pos_);
      if (nl == std::string::npos) {
        if (buf_.size() - pos_ <= kMaxHeaderLine) return std::nullopt;
        dropLine_ = true;
        if (resyncing_) continue;
        resyncing_ = true;
        return error({}, "frame header too long or missing its newline; skipping to the next header");
      }
      std::string_view line(buf_.data() + pos_, nl - pos_);
      pos_ = nl + 1;
      if (line.empty()) continue;  // blank lines between frames are harmless
      std::string kind;
      size_t len = 0;
      if (!parseHeader(line, kind, len)) {
        if (resyncing_) continue;
        resyncing_ = true;
        return error({}, "malformed frame header \"" + printable(line) +
                             "\"; skipping to the next header");
      }
      resyncing_ = false;
      kind_ = kind;
      if (len > kMaxPayload) {
        skipLeft_ = len;
        skipNewline_ = true;
        return error(kind, kind + " frame of " + std::to_string(len) + " bytes refused (limit " +
                               std::to_string(kMaxPayload) + ")");
      }
      haveHeader_ = true;
      len_ = len;
      if (len >= kDirectPayload) {
        // A large payload goes straight into a string of its exact size:
        // no growing buffer twice its size, no copy once complete.
        direct_ = true;
        body_.clear();
        body_.reserve(len + 1);
        size_t k = std::min(buf_.size() - pos_, len + 1);
        body_.append(buf_, pos_, k);
        pos_ += k;
      }
    }
  }

  // A frame has begun but is not complete (checked at end of input).
  bool midFrame() const {
    return haveHeader_ || skipLeft_ > 0 || skipNewline_ || (pos_ < buf_.size() && !dropLine_);
  }
  // Kind of the frame begun, when its header was read.
  const std::string& pendingKind() const { return kind_; }

 private:
  static bool parseHeader(std::string_view line, std::string& kind, size_t& len) {
    size_t sp = line.find(' ');
    if (sp == std::string_view::npos || sp == 0 || sp > 8) return false;
    for (size_t i = 0; i < sp; ++i)
      if (line[i] < 'A' || line[i] > 'Z') return false;
    std::string_view digits = line.substr(sp + 1);
    if (digits.empty() || digits.size() > 19) return false;
    size_t v = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + size_t(c - '0');
    }
    kind.assign(line.substr(0, sp));
    len = v;
    return true;
  }

  std::optional<Item> payload() {
    if (direct_) return directPayload();
    if (buf_.size() - pos_ < len_ + 1) return std::nullopt;
    Item it;
    it.kind = std::move(kind_);
    kind_.clear();
    haveHeader_ = false;
    if (buf_[pos_ + len_] != '\n') {
      // The announced length is wrong: what follows cannot be trusted.
      pos_ += len_;
      dropLine_ = true;
      resyncing_ = true;
      it.ok = false;
      it.error = it.kind + " frame of " + std::to_string(len_) +
                 " bytes not followed by a newline (wrong length?); skipping to the next header";
      return it;
    }
    it.payload.assign(buf_, pos_, len_);
    pos_ += len_ + 1;
    return it;
  }

  std::optional<Item> directPayload() {
    if (body_.size() < len_ + 1) return std::nullopt;
    Item it;
    it.kind = std::move(kind_);
    kind_.clear();
    haveHeader_ = false;
    direct_ = false;
    char last = body_[len_];
    body_.resize(len_);
    if (last != '\n') {
      // Same as in the buffer: the byte after the announced length starts
      // the line that is dropped.
      buf_.insert(buf_.begin() + static_cast<std::ptrdiff_t>(pos_), last);
      dropLine_ = true;
      resyncing_ = true;
      it.ok = false;
      it.error = it.kind + " frame of " + std::to_string(len_) +
                 " bytes not followed by a newline (wrong length?); skipping to the next header";
      body_ = std::string();
      return it;
    }
    it.payload = std::move(body_);
    body_ = std::string();
    return it;
  }

  bool skipOversized() {
    size_t avail = buf_.size() - pos_;
    size_t n = avail < skipLeft_ ? avail : skipLeft_;
    pos_ += n;
    skipLeft_ -= n;
    if (skipLeft_ > 0) return false;
    if (pos_ >= buf_.size()) return false;
    kind_.clear();
    if (buf_[pos_] == '\n') {
      ++pos_;
    } else {
      dropLine_ = true;
      resyncing_ = true;
    }
    skipNewline_ = false;
    return true;
  }

  void compact() {
    if (pos_ > 0 && (pos_ >= buf_.size() || pos_ > (size_t(1) << 16))) {
      buf_.erase(0, pos_);
      pos_ = 0;
    }
  }

  static Item error(std::string kind, std::string text) {
    Item it;
    it.ok = false;
    it.kind = std::move(kind);
    it.error = std::move(text);
    return it;
  }

  static std::string printable(std::string_view s) {
    std::string out;
    for (unsigned char c : s.substr(0, 40)) {
      if (c < 0x20 || c == 0x7F) {
        static const char* hex = "0123456789ABCDEF";
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
      } else {
        out += char(c);
      }
    }
    if (s.size() > 40) out += "...";
    return out;
  }

  static constexpr size_t kDirectPayload = size_t(1) << 20;
  std::string buf_;
  size_t pos_ = 0;
  bool direct_ = false;
  std::string body_;
  bool haveHeader_ = false;
  std::string kind_;
  size_t len_ = 0;
  size_t skipLeft_ = 0;
  bool skipNewline_ = false;
  bool dropLine_ = false;
  bool resyncing_ = false;
};

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
inline bool IsValidUtf8(std::string_view s) {
  size_t i = 0, n = s.size();
  while (i < n) {
    // Requests and replies are mostly ASCII: eight bytes at a time.
    while (i + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, s.data() + i, 8);
      if (w & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i >= n) break;
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t extra;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= n) return false;
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace kup::bridge

namespace kup::platform {

// The Flash control over the bridge. The host opens each request with
// beginRequest, runs the dispatcher, then sends the RET with endRequest.
class RealFlash : public IFlash {
 public:
  explicit RealFlash(int outFd = STDOUT_FILENO) : fd_(outFd) {}

  void SetReturnValue(const std::string& xml) override;
  // Sends the CALL at once; the UI's answer does not travel back, so the
  // result is always "". Raises error 5 when the UI has gone.
  std::string CallFunction(const std::string& xml) override;

  void beginRequest();
  // Writes the RET of the pending request. False when the UI has gone.
  bool endRequest();
  // False once a write failed (the UI closed its end).
  bool connected() const { return connected_; }

 private:
  int fd_;
  std::string reply_;
  bool connected_ = true;
};

}  // namespace kup::platform
