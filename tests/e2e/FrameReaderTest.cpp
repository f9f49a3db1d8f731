// The bridge frame codec shared by the container, the client and the tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/RealFlash.h"

using kup::bridge::EncodeFrame;
using kup::bridge::FrameReader;

namespace {
std::vector<FrameReader::Item> All(FrameReader& r) {
  std::vector<FrameReader::Item> out;
  while (auto it = r.next()) out.push_back(*it);
  return out;
}
}  // namespace

TEST(BridgeFrames, EncodeAndReadBackInAnyPieces) {
  EXPECT_EQ(EncodeFrame("RET", ""), "RET 0\n\n");
  std::string payload = "ligne 1\nREQ 3\nabc\n\xC3\xA9";  // a payload that looks like frames
  std::string stream = EncodeFrame("REQ", payload) + EncodeFrame("CALL", "") + EncodeFrame("REQ", "x");
  for (size_t piece : {size_t(1), size_t(2), size_t(7), stream.size()}) {
    FrameReader r;
    std::vector<FrameReader::Item> got;
    for (size_t i = 0; i < stream.size(); i += piece) {
      r.feed(std::string_view(stream).substr(i, piece));
      for (auto& it : All(r)) got.push_back(it);
    }
    ASSERT_EQ(got.size(), 3u) << "piece " << piece;
    EXPECT_TRUE(got[0].ok && got[1].ok && got[2].ok);
    EXPECT_EQ(got[0].kind, "REQ");
    EXPECT_EQ(got[0].payload, payload);
    EXPECT_EQ(got[1].kind, "CALL");
    EXPECT_EQ(got[1].payload, "");
    EXPECT_EQ(got[2].payload, "x");
    EXPECT_FALSE(r.midFrame());
  }
}

TEST(BridgeFrames, GarbageIsReportedOnceAndTheReaderResynchronises) {
  FrameReader r;
  r.feed("hello world\nREQ x\nreq 3\n\nREQ 1\na\n");
  auto got = All(r);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_FALSE(got[0].ok);  // one report for the whole damaged run
  EXPECT_NE(got[0].error.find("hello world"), std::string::npos);
  EXPECT_TRUE(got[1].ok);
  EXPECT_EQ(got[1].payload, "a");

  // Wrong length: reported as a damaged REQ (its sender waits for a RET),
  // then the rest of the line is dropped.
  r.feed("REQ 2\nabcd\nREQ 1\nb\n");
  got = All(r);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_FALSE(got[0].ok);
  EXPECT_EQ(got[0].kind, "REQ");
  EXPECT_EQ(got[1].payload, "b");

  // A header line that never ends is cut off without being held whole.
  r.feed(std::string(5000, 'A'));
  got = All(r);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(got[0].ok);
  r.feed(std::string(5000, 'A') + "\nREQ 1\nc\n");
  got = All(r);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].payload, "c");
}

TEST(BridgeFrames, OversizedFramesAreSkippedWithoutBuffering) {
  FrameReader r;
  size_t len = kup::bridge::kMaxPayload + 10;
  r.feed("REQ " + std::to_string(len) + "\n");
  auto got = All(r);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(got[0].ok);
  EXPECT_EQ(got[0].kind, "REQ");
  std::string chunk(1 << 20, 'x');
  size_t left = len;
  while (left > 0) {
    size_t n = std::min(left, chunk.size());
    r.feed(std::string_view(chunk).substr(0, n));
    left -= n;
    EXPECT_TRUE(All(r).empty());
    EXPECT_TRUE(r.midFrame());
  }
  r.feed("\nREQ 1\nz\n");
  got = All(r);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].payload, "z");
  EXPECT_FALSE(r.midFrame());
}

TEST(BridgeFrames, Utf8Validation) {
  using kup::bridge::IsValidUtf8;
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("abc \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xE9t\xE9"));             // Windows-1252 bytes
  EXPECT_FALSE(IsValidUtf8("\xC3"));                  // cut short
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));              // overlong
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));          // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));      // beyond U+10FFFF
}

// A frame of a megabyte or more is read into a string of its own: in pieces,
// followed by another frame, or with a wrong length, it reads as a small one.
TEST(BridgeFrames, LargeFramesReadLikeSmallOnes) {
  const std::string big(size_t(3) << 20, 'b');
  std::string stream = EncodeFrame("REQ", big) + EncodeFrame("REQ", "suite");
  for (size_t piece : {size_t(65536), size_t(1000003), stream.size()}) {
    FrameReader r;
    std::vector<FrameReader::Item> got;
    for (size_t i = 0; i < stream.size(); i += piece) {
      r.feed(std::string_view(stream).substr(i, piece));
      for (auto& it : All(r)) got.push_back(it);
    }
    ASSERT_EQ(got.size(), 2u) << piece;
    EXPECT_TRUE(got[0].ok && got[0].payload == big) << piece;
    EXPECT_EQ(got[1].payload, "suite");
    EXPECT_FALSE(r.midFrame());
  }
  FrameReader r;
  r.feed("REQ " + std::to_string(big.size() - 1) + "\n" + big + "\n" + EncodeFrame("REQ", "apres"));
  auto got = All(r);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_FALSE(got[0].ok);
  EXPECT_EQ(got[1].payload, "apres");
}

// Whatever a command put in a reply or a call, the frame is UTF-8.
TEST(BridgeFrames, OutgoingFramesAreAlwaysUtf8) {
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  kup::platform::RealFlash flash(p[1]);
  flash.beginRequest();
  flash.SetReturnValue("<array>dossier\xFF.pdf</array>");
  ASSERT_TRUE(flash.endRequest());
  flash.CallFunction("<invoke name=\"x\">\xC3</invoke>");
  ::close(p[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = ::read(p[0], buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
  ::close(p[0]);
  FrameReader r;
  r.feed(out);
  auto got = All(r);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].payload, "<array>dossier\xEF\xBF\xBD.pdf</array>");
  EXPECT_EQ(got[1].payload, "<invoke name=\"x\">\xEF\xBF\xBD</invoke>");
  EXPECT_TRUE(kup::bridge::IsValidUtf8(out));
}
