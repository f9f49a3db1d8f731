#include "documents/Mdl_MSS.h"

#include <ctime>
#include <exception>
#include <vector>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/Mdl_DocCommun.h"
#include "platform/PathText.h"

namespace kup {

namespace {

constexpr const char* kSource = "KUP_appelScanMSS_Error";
constexpr const char* kBatch = "appelMSS.bat";
constexpr const char* kFichierEchange = "Tessaly.xml";

std::string DeuxChiffres(int n) {
  const char c[] = {static_cast<char>('0' + (n / 10) % 10), static_cast<char>('0' + n % 10), '\0'};
  return c;
}

// The number names the result file, which is then sent to the Flex
// interface: it must stay a bare file name.
void VerifierNumero(const std::string& numero) {
  bool simple = !numero.empty() && numero != "." && numero != "..";
  for (char c : numero)
    if (platform::IsPathSeparator(c) || c == ':' || c == '\0') simple = false;
  if (!simple) raise(vberr::BadFileName, vbErrorText(vberr::BadFileName) + " : " + numero + ".xml");
}

}  // namespace

std::string sLireFichierTexte(App& app, const std::string& chemin) {
  const std::string texte = FromCp1252(app.fs().readFile(chemin));
  std::string out;
  size_t debut = 0;
  while (debut < texte.size()) {
    size_t fin = texte.find_first_of("\r\n", debut);
    if (fin == std::string::npos) fin = texte.size();
    out.append(texte, debut, fin - debut);
    out += "\r\n";
    if (fin < texte.size() && texte[fin] == '\r' && fin + 1 < texte.size() && texte[fin + 1] == '\n') ++fin;
    debut = fin + 1;
  }
  return out;
}

void KUP_appelScanMSS(App& app, Args& args) {
  Pieger(app, kSource, [&] {
    const std::string numero = CStr(Arg(args, 0));
    VerifierNumero(numero);

    const std::time_t maintenant = app.env().now();
    std::tm jour{};
    localtime_r(&maintenant, &jour);
    const std::string jj = DeuxChiffres(jour.tm_mday), mm = DeuxChiffres(jour.tm_mon + 1),
                      aa = DeuxChiffres(jour.tm_year % 100);

    const std::string dossier = app.env().programFolder();
    const std::string echange = "<ROOT>\r\n<TYPE_DOC>PDC</TYPE_DOC>\r\n<NUM_DOSS>" + EchapperXml(numero) +
                                "</NUM_DOSS>\r\n<DATE_DOSS>" + jj + "/" + mm + "/" + aa + "</DATE_DOSS>\r\n</ROOT>\r\n";
    app.fs().writeFile(sJoindreChemin(dossier, kFichierEchange), ToCp1252(echange));

    // The batch gets its two values as arguments of their own: nothing in
    // the number can reach a command interpreter.
    if (!app.pf.processes) raise(vberr::ObjectVariableNotSet);
    const std::string batch = sJoindreChemin(dossier, kBatch);
    const long pid = app.pf.processes->start({batch, Replace(numero, " ", "-"), aa + mm + jj});
    if (pid == 0) raise(vberr::FileNotFound, vbErrorText(vberr::FileNotFound) + " : " + batch);
    if (!app.pf.processes->waitForExit(pid, kAttenteScanMaxMs))
      raise(0, std::string("La numérisation (") + kBatch + ") n'est pas terminée après " +
                   std::to_string(kAttenteScanMaxMs / 3600000) + " heures : son résultat n'est pas lu.");

    const std::string resultat = sLireFichierTexte(app, numero + ".xml");
    KUP_EnvoyerChaineVersFlex(app, sInvokeXML("KUP_appelScanMSS", {"KUP_appelScanMSS", numero, resultat, "", ""}));
  });
}

void RegisterMdl_MSS(CommandTable& table) { table.addDeferred("KUP_appelScanMSS", 500, KUP_appelScanMSS); }

}  // namespace kup
