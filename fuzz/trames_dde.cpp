// The DDE stand-in's wire: the frame reader on any byte stream in any
// pieces, then the same bytes sent by a partner to the main window's real
// DDE source over its socket. The reader's frames do not depend on how the
// bytes arrived; the source hands only valid UTF-8 to its handler, answers
// at most once per execute, and keeps no descriptor once the partner has
// gone. Also the one-line escaping of execute strings for the logs.

// fuzz-lien: kup_platform
#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "FuzzOutils.h"
#include "platform/DdeFolder.h"
#include "platform/RealDde.h"
#include "platform/RealFlash.h"

using namespace kup;
namespace dde = kup::platform::dde;

namespace {

struct Lu {
  std::vector<std::string> frames;
  bool casse = false;
};

Lu Lire(const std::string& flux, const std::vector<size_t>& coupes) {
  dde::FrameReader r;
  Lu lu;
  size_t pos = 0;
  auto vider = [&] {
    while (auto f = r.next()) lu.frames.push_back(f->kind + (f->oversized ? "!" : " ") + f->payload);
  };
  for (size_t c : coupes) {
    size_t n = std::min(c, flux.size() - pos);
    r.feed(flux.data() + pos, n);
    pos += n;
    vider();
  }
  r.feed(flux.data() + pos, flux.size() - pos);
  vider();
  lu.casse = r.broken();
  return lu;
}

size_t DescripteursOuverts() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

struct Source {
  std::string dossier;
  std::unique_ptr<platform::RealDdeSystem> sys;
  std::vector<std::string> recus;
  Source() {
    char modele[] = "/tmp/kup-fuzz-dde-XXXXXX";
    dossier = mkdtemp(modele);
    sys = std::make_unique<platform::RealDdeSystem>(dossier);
    sys->setSource("Korvane", "KUP", 1);
    sys->onLinkExecute = [this](const std::string& cmd, int16_t& cancel) {
      KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(cmd), cmd);
      recus.push_back(cmd);
      cancel = cmd.size() % 2 ? 0 : -1;
    };
    sys->onShowRequest = [](long, int) {};
  }
  ~Source() {
    sys.reset();
    ::rmdir(dossier.c_str());
  }
};

// Sends the bytes as a partner would, closes, and lets the source serve
// them; returns the answers it wrote back.
std::string Envoyer(Source& s, const std::string& octets) {
  int fd = dde::Connect(s.dossier, dde::SocketName("Korvane", "KUP"));
  KUP_FUZZ_VERIFIER(fd >= 0, "connexion à la source");
  dde::SetNonBlocking(fd, false);
  std::string reponses;
  size_t envoye = 0;
  bool ferme = false;
  char buf[4096];
  for (int tour = 0; tour < 200; ++tour) {
    if (envoye < octets.size()) {
      ssize_t n = ::send(fd, octets.data() + envoye, octets.size() - envoye, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) envoye += size_t(n);
      else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) envoye = octets.size();
    } else if (!ferme) {
      ::shutdown(fd, SHUT_WR);
      ferme = true;
    }
    s.sys->poll();
    for (;;) {
      ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) {
        reponses.append(buf, size_t(n));
        continue;
      }
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
        ::close(fd);
        return reponses;  // the source closed the conversation
      }
      break;
    }
    if (ferme) {
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, 1);
    }
  }
  ::close(fd);
  fuzz::Echec("la source garde une conversation dont le partenaire est parti", octets);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Source source;

  FuzzedDataProvider p(data, size);
  std::vector<size_t> coupes;
  size_t nb = p.ConsumeIntegralInRange<size_t>(0, 8);
  for (size_t i = 0; i < nb; ++i) coupes.push_back(p.ConsumeIntegralInRange<size_t>(0, 64));
  const std::string flux = p.ConsumeRemainingBytesAsString();

  Lu entier = Lire(flux, {});
  Lu morceaux = Lire(flux, coupes);
  KUP_FUZZ_VERIFIER(entier.frames == morceaux.frames, flux);
  KUP_FUZZ_VERIFIER(entier.casse == morceaux.casse, flux);

  KUP_FUZZ_VERIFIER(dde::UnescapeLine(dde::EscapeLine(flux)) == flux, flux);
  KUP_FUZZ_VERIFIER(dde::EscapeLine(flux).find_first_of("\r\n") == std::string::npos, flux);
  std::string app, topic;
  if (dde::SplitLinkTopic(flux, app, topic)) {
    const std::string nom = dde::SocketName(app, topic);
    KUP_FUZZ_VERIFIER(nom.size() <= 60 && nom.find('/') == std::string::npos && nom.find('\0') == std::string::npos,
                      nom);
  }

  size_t executes = 0;
  for (auto& f : entier.frames)
    if (f.rfind("EXEC", 0) == 0 && f.size() > 4 && (f[4] == ' ' || f[4] == '!')) ++executes;
  source.recus.clear();
  const size_t descripteurs = DescripteursOuverts();
  std::string reponses = Envoyer(source, flux);
  size_t acks = 0, naks = 0;
  for (size_t i = 0; i + 4 <= reponses.size(); i += 4) {
    if (reponses.compare(i, 4, "ACK\n") == 0) ++acks;
    else if (reponses.compare(i, 4, "NAK\n") == 0) ++naks;
    else fuzz::Echec("réponse inattendue de la source", reponses);
  }
  KUP_FUZZ_VERIFIER(reponses.size() % 4 == 0, reponses);
  KUP_FUZZ_VERIFIER(acks + naks <= executes, reponses);
  KUP_FUZZ_VERIFIER(source.recus.size() <= executes, flux);
  KUP_FUZZ_VERIFIER(DescripteursOuverts() <= descripteurs, "descripteurs après la conversation");
  return 0;
}
