// korvane: the container process. Wires the real platform to the core,
// runs the start-up routine, then serves the UI bridge on the standard
// streams until end of input.
#include "host/Run.h"

int main(int argc, char** argv) { return kup::host::RunKorvane(argc, argv, {}); }
