// The host's bridge service on any input stream: frames cut and damaged
// in any way, requests of any text, a command that ends the session. The
// service reads to the end (or to the session's end) without stalling,
// answers exactly one RET for every REQ it met before the end, and writes
// nothing but whole frames.

// fuzz-lien: kup_host
#include <sys/mman.h>
#include <unistd.h>

#include <asio/io_context.hpp>

#include "FuzzOutils.h"
#include "core/Core.h"
#include "core/Dispatcher.h"
#include "host/StdioBridge.h"
#include "platform/RealFlash.h"

using namespace kup;

namespace {

int Memoire(const char* nom, const std::string& contenu) {
  int fd = memfd_create(nom, MFD_CLOEXEC);
  KUP_FUZZ_VERIFIER(fd >= 0, "memfd");
  KUP_FUZZ_VERIFIER(bridge::WriteAll(fd, contenu), "écriture memfd");
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

std::string Relire(int fd) {
  std::string s;
  ::lseek(fd, 0, SEEK_SET);
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) s.append(buf, size_t(n));
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string entree(reinterpret_cast<const char*>(data), size);
  const int in = Memoire("entree", entree);
  const int out = Memoire("sortie", "");

  size_t traitees = 0, fin = 0;
  {
    TestApp t;
    auto flash = std::make_unique<platform::RealFlash>(out);
    platform::RealFlash& flashRef = *flash;
    t.app.pf.flash = std::move(flash);
    auto table = std::make_shared<CommandTable>();
    table->add("KUP_Echo", [](App& app, Args& a) { RenvoyerValeurFlexDefaut(app, a); });
    table->add("KUP_Appel", [](App& app, Args& a) { KUP_EnvoyerChaineVersFlex(app, CStr(Arg(a, 0))); });
    table->add("unload", [](App& app, Args&) { app.quitRequested = true; });
    t.app.commands = table;

    asio::io_context io;
    host::StdioBridge pont(io, flashRef, in);
    pont.log = [](const std::string&) {};
    pont.onRequest = [&](const std::string& requete) {
      ++traitees;
      FlashCall(t.app, requete);
      if (t.app.quitRequested && !fin) fin = traitees;
    };
    pont.stopRequested = [&] { return t.app.quitRequested; };
    pont.onEnd = [&] { io.stop(); };
    pont.start();
    io.run();
    KUP_FUZZ_VERIFIER(pont.finished(), "service non terminé");
  }

  // What the service should have answered: one RET per REQ frame met
  // (whole, damaged or refused) up to the request that ended the session.
  bridge::FrameReader attendu;
  attendu.feed(entree);
  size_t ret = 0, valides = 0;
  while (auto it = attendu.next()) {
    if (it->kind != "REQ") continue;
    ++ret;
    if (it->ok && bridge::IsValidUtf8(it->payload) && ++valides == fin) break;
  }

  const std::string sortie = Relire(out);
  ::close(in);
  ::close(out);
  bridge::FrameReader lu;
  lu.feed(sortie);
  size_t rets = 0;
  while (auto it = lu.next()) {
    KUP_FUZZ_VERIFIER(it->ok && (it->kind == "RET" || it->kind == "CALL"), it->error);
    if (it->kind == "RET") ++rets;
  }
  KUP_FUZZ_VERIFIER(!lu.midFrame(), "trame de sortie coupée");
  if (std::getenv("KUP_FUZZ_TRACE")) std::fprintf(stderr, "%zu RET, %zu requêtes traitées\n", rets, traitees);
  KUP_FUZZ_VERIFIER(rets == ret, std::to_string(rets) + " RET pour " + std::to_string(ret) + " REQ");
  return 0;
}
