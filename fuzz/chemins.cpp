// Path texts from the interface: a drive, share or host path never leads
// above its root on the host, a relative text placed below a folder never
// climbs out of it, the canonical text reads back as the same path, and a
// host name read back from its text is one name that leads to itself.

// fuzz-lien: kup_platform
#include "FuzzOutils.h"
#include "platform/PathText.h"

using namespace kup::platform;

namespace {

bool ComposantsSains(const std::vector<std::string>& parts, bool relatif) {
  bool tete = true;  // a relative text keeps its leading ".."
  for (auto& p : parts) {
    if (p.empty() || p == "." || p.find_first_of("\\/") != std::string::npos) return false;
    if (p == "..") {
      if (!relatif || !tete) return false;
    } else {
      tete = false;
    }
  }
  return true;
}

bool Sous(const std::string& chemin, const std::string& racine) {
  if (chemin == racine) return true;
  if (chemin.rfind(racine + "/", 0) != 0) return false;
  // Below the root, no component climbs.
  std::string reste = chemin.substr(racine.size());
  return reste.find("/../") == std::string::npos && reste.find("/./") == std::string::npos &&
         !(reste.size() >= 3 && reste.compare(reste.size() - 3, 3, "/..") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  const std::string dossier = fdp.ConsumeRandomLengthString(64);
  const std::string texte = fdp.ConsumeRemainingBytesAsString();

  PathText p = PathText::Parse(texte);
  KUP_FUZZ_VERIFIER(ComposantsSains(p.parts, p.kind == PathText::Kind::Relative), texte);
  DriveMap carte{{{'D', "/srv/d"}}, "/racine/lecteurs", "/racine/unc"};
  // (A relative text whose first name looks like a drive, "a\..\C:x",
  // has no canonical text of its own: only rooted paths are checked.)
  if (p.kind != PathText::Kind::Relative) {
    const std::string canon = p.text();
    PathText q = PathText::Parse(canon);
    KUP_FUZZ_VERIFIER(q.kind == p.kind && carte.hostPath(q) == carte.hostPath(p), canon);
    if (p.kind != PathText::Kind::Unc) KUP_FUZZ_VERIFIER(q.parts == p.parts && q.drive == p.drive, canon);
  }
  if (p.kind == PathText::Kind::Unc)
    KUP_FUZZ_VERIFIER(p.server.find_first_of("\\/") == std::string::npos &&
                          p.share.find_first_of("\\/") == std::string::npos && p.server != ".." && p.share != "..",
                      texte);

  const std::string hote = carte.hostPath(p);
  switch (p.kind) {
    case PathText::Kind::Drive:
      KUP_FUZZ_VERIFIER(Sous(hote, p.drive == 'D' ? "/srv/d" : "/racine/lecteurs/" + std::string(1, char(std::tolower(p.drive)))),
                        hote);
      break;
    case PathText::Kind::Unc: KUP_FUZZ_VERIFIER(Sous(hote, "/racine/unc"), hote); break;
    default: break;
  }

  // A name listed from the host (any bytes but "/" and NUL), sent back below
  // its folder, is that one name and leads back to its own bytes.
  if (!texte.empty() && texte.find_first_of(std::string("/\0", 2)) == std::string::npos && texte != "." &&
      texte != "..") {
    const std::string nom = HostNameToText(texte);
    PathText q = PathText::Parse("D:\\dossier\\" + nom);
    KUP_FUZZ_VERIFIER(q.parts.size() == 2 && q.parts[1] == nom && carte.hostPath(q) == "/srv/d/dossier/" + texte, nom);
  }

  PathText base = PathText::Parse(dossier);
  if (base.kind != PathText::Kind::Relative) {
    PathText r = p.under(base);
    if (p.kind == PathText::Kind::Relative) {
      KUP_FUZZ_VERIFIER(r.kind == base.kind && r.parts.size() >= 0, texte);
      KUP_FUZZ_VERIFIER(ComposantsSains(r.parts, false), r.text());
      const std::string h = carte.hostPath(r);
      const std::string rb = carte.hostPath(PathText{base.kind, base.drive, base.server, base.share, {}});
      KUP_FUZZ_VERIFIER(Sous(h, rb == "/" ? std::string() : rb) || h == rb, h);
    }
  }
  return 0;
}
