// Frames, socket names and the service folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "StandinProcess.h"
#include "platform/DdeFolder.h"

namespace dde = kup::platform::dde;

TEST(DdeFrames, ReaderTakesFramesInAnyPieces) {
  std::string flux = dde::EncodeFrame("EXEC", "SIG_ParcelleCadrer") + "ACK\n" + dde::EncodeFrame("EXEC", "") +
                     dde::EncodeFrame("EXEC", "a\nb\r\nEXEC 3\n") + "NAK\n" + dde::EncodeFrame("SHOW", "123 9");
  for (size_t morceau : {size_t(1), size_t(3), size_t(7), flux.size()}) {
    dde::FrameReader r;
    std::vector<dde::FrameReader::Frame> frames;
    for (size_t i = 0; i < flux.size(); i += morceau) {
      r.feed(flux.data() + i, std::min(morceau, flux.size() - i));
      while (auto f = r.next()) frames.push_back(*f);
    }
    ASSERT_EQ(frames.size(), 6u) << morceau;
    EXPECT_EQ(frames[0].payload, "SIG_ParcelleCadrer");
    EXPECT_EQ(frames[1].kind, "ACK");
    EXPECT_EQ(frames[2].kind, "EXEC");
    EXPECT_EQ(frames[2].payload, "");
    EXPECT_EQ(frames[3].payload, "a\nb\r\nEXEC 3\n");
    EXPECT_EQ(frames[4].kind, "NAK");
    EXPECT_EQ(frames[5].kind, "SHOW");
    EXPECT_FALSE(r.broken());
  }
}

TEST(DdeFrames, BadHeadersBreakTheStream) {
  for (std::string bad : {std::string("EXEC -1\nx"), std::string("EXEC 1x\n"), std::string("\n"),
                          std::string(40, 'A'), std::string("EXEC 99999999999999999999\n")}) {
    dde::FrameReader r;
    r.feed(bad.data(), bad.size());
    EXPECT_FALSE(r.next().has_value()) << bad;
    EXPECT_TRUE(r.broken()) << bad;
  }
}

TEST(DdeFrames, OversizedFrameIsDroppedAndTheStreamGoesOn) {
  dde::FrameReader r;
  size_t n = dde::kMaxPayload + 10;
  std::string entete = "EXEC " + std::to_string(n) + "\n";
  r.feed(entete.data(), entete.size());
  std::string bloc(1 << 20, 'x');
  size_t envoye = 0;
  while (envoye < n) {
    size_t k = std::min(bloc.size(), n - envoye);
    r.feed(bloc.data(), k);
    envoye += k;
  }
  std::string suite = dde::EncodeFrame("EXEC", "apres");
  r.feed(suite.data(), suite.size());
  auto a = r.next();
  auto b = r.next();
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->oversized);
  EXPECT_TRUE(a->payload.empty());
  EXPECT_EQ(b->payload, "apres");
  EXPECT_FALSE(b->oversized);
}

TEST(DdeFrames, SocketNamesAndLinkTopics) {
  EXPECT_EQ(dde::SocketName("Korvane", "ZEDERA"), dde::SocketName("KORVANE", "zedera"));
  EXPECT_EQ(dde::SocketName("Carte É", "x"), dde::SocketName("CARTE é", "X"));
  EXPECT_NE(dde::SocketName("a", "b@c"), dde::SocketName("a@b", "c"));
  for (auto n : {dde::SocketName("../..", "/etc/passwd"), dde::SocketName(std::string(500, 'z'), "t"),
                 dde::SocketName("a\nb", std::string("\0x", 2))}) {
    EXPECT_EQ(n.find('/'), std::string::npos) << n;
    EXPECT_LE(n.size(), 60u) << n;
  }
  std::string app, topic;
  EXPECT_TRUE(dde::SplitLinkTopic("SIG|CARTO|2", app, topic));
  EXPECT_EQ(app, "SIG");
  EXPECT_EQ(topic, "CARTO|2");
  EXPECT_FALSE(dde::SplitLinkTopic("SIG", app, topic));
  EXPECT_FALSE(dde::SplitLinkTopic("|CARTO", app, topic));
  EXPECT_EQ(dde::UnescapeLine(dde::EscapeLine("a\\n\nb\r")), "a\\n\nb\r");
  EXPECT_EQ(dde::EscapeLine("a\\n\nb\r"), "a\\\\n\\nb\\r");
}

TEST(DdeFrames, ServiceFolderMustBelongToTheUser) {
  ServiceFolder dossier;
  std::string why;
  EXPECT_TRUE(dde::PrepareFolder(dossier.path, &why)) << why;
  std::string neuf = dossier.file("sous");
  EXPECT_TRUE(dde::PrepareFolder(neuf));
  struct stat st {};
  ASSERT_EQ(::stat(neuf.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ::chmod(neuf.c_str(), 0777);
  EXPECT_FALSE(dde::PrepareFolder(neuf, &why));
  EXPECT_FALSE(why.empty());
  std::ofstream(dossier.file("fichier")) << "x";
  EXPECT_FALSE(dde::PrepareFolder(dossier.file("fichier")));
  EXPECT_EQ(dde::ResolveFolder("/ailleurs"), "/ailleurs");
}
