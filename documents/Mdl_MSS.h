#pragma once
// Document scanning: the batch "appelMSS.bat" of the program folder starts
// the scanning tool for a dossier, and what the tool reports back is handed
// to the Flex interface.
#include <string>

#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// How long the container waits for the scanning batch to end. The wait
// blocks the whole container, so it is bounded: a batch still running
// after this is reported and its result is not read.
inline constexpr int kAttenteScanMaxMs = 4 * 60 * 60 * 1000;

// The lines of a text file (8-bit text), each followed by CR LF; "" for an
// empty file. A line ends at CR LF, CR or LF. A missing file raises to the
// caller.
std::string sLireFichierTexte(App& app, const std::string& chemin);

// KUP_appelScanMSS(dossier number), run from the deferred-call timer:
// writes the hand-over file Tessaly.xml in the program folder, runs
// appelMSS.bat with the number (blanks as "-") and today's date (yymmdd),
// waits for its end, reads the tool's result file "<number>.xml" from the
// current folder and calls "KUP_appelScanMSS" into the player with
// ["KUP_appelScanMSS", number, result text, "", ""]. Failures are reported
// under "KUP_appelScanMSS_Error" and call nothing into the player.
void KUP_appelScanMSS(App& app, Args& args);

void RegisterMdl_MSS(CommandTable& table);

}  // namespace kup
