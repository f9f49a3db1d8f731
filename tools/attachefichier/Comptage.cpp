// The attachment library's dossier entries: counting a dossier's
// attachments and its attachment window, from the attachment envelope
// (a zero-terminated Windows-1252 string). The storage layout is described
// in Stockage.h. In a program that shows Qt windows the attachment window
// is one; otherwise it is a line on the error output: the dossier and what
// it holds.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "vb/VbString.h"
#include "tools/attachefichier/Fenetres.h"
#include "tools/attachefichier/Stockage.h"

#define KUP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using kup::attache::Enveloppe;

// Normal files of a host folder, hidden ones left out; 0 when it is missing.
// With a list, each one is added to it.
int64_t FichiersDuDossier(const std::string& hote, std::vector<kup::attache::Piece>* liste = nullptr) {
  DIR* d = ::opendir(hote.c_str());
  if (!d) return 0;
  int64_t n = 0;
  while (const dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    struct stat st{};
    if (::stat((hote + "/" + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      ++n;
      if (liste) liste->push_back({e->d_name, hote, static_cast<int64_t>(st.st_size)});
    }
  }
  ::closedir(d);
  return n;
}

// The dossier's attachments in every storage folder, -1 when the envelope
// names no usable dossier.
int32_t Compter(const Enveloppe& e, std::vector<kup::attache::Piece>* liste = nullptr) {
  const std::string nom = kup::attache::NomDossierPieces(e.identifiant);
  if (nom.empty()) return -1;
  int64_t total = 0;
  for (const auto& rep : e.repertoires)
    total += FichiersDuDossier(kup::attache::CheminHoteUtf8(kup::attache::DossierPieces(rep, nom)), liste);
  return total > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                      : static_cast<int32_t>(total);
}

}  // namespace

// The number of attachments of the envelope's dossier; -1 when the
// envelope cannot be read. The second argument is reserved (0).
KUP_EXPORT int32_t Count(const char* enveloppe, int32_t /*reserve*/) {
  try {
    if (!enveloppe) return -1;
    auto e = kup::attache::LireEnveloppe(kup::FromCp1252(enveloppe));
    return e ? Compter(*e) : -1;
  } catch (...) {
    return -1;
  }
}

// The attachment window of the envelope's dossier. 1 when shown, 0 when
// the envelope cannot be read. The second argument is reserved (0).
KUP_EXPORT int32_t Attachement(const char* enveloppe, int32_t /*reserve*/) {
  try {
    if (!enveloppe) return 0;
    auto e = kup::attache::LireEnveloppe(kup::FromCp1252(enveloppe));
    if (!e) return 0;
    if (kup::attache::FenetresPossibles()) {
      std::vector<kup::attache::Piece> pieces;
      Compter(*e, &pieces);
      kup::attache::FenetrePieces(e->identifiant, e->habilitation, pieces);
      return 1;
    }
    std::fprintf(stderr, "AttacheFichier: Attachement \"%s\" (%s) : %d pièce(s)\n", e->identifiant.c_str(),
                 e->habilitation.c_str(), static_cast<int>(Compter(*e)));
    return 1;
  } catch (...) {
    return 0;
  }
}
