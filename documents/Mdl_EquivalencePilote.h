#pragma once
#include "core/App.h"

namespace kup {
// Gives every word-processor driver created in this App the catalogue
// lookups it uses to rename V2 merge fields and bookmarks.
void InstallEquivalenceLookups(App& app);
}  // namespace kup
