#pragma once
// The letter template cache: the Flex interface keeps a copy of each letter
// template in env_prod under the program folder and sends a template again
// only when the copy is missing or differs in size or date.
#include <cstdint>
#include <ctime>
#include <string>

#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// (file name, sub-folder, size, date): answers the cache folder in slot 5
// when the cached copy is current, else "". Always answers.
void KUP_CourrierCacheComparer(App& app, Args& args);
// (file name, sub-folder, base64 content, date): writes the template into the
// cache and stamps it with the date.
void KUP_CourrierCacher(App& app, Args& args);

// Size in bytes (low 32 bits), -1 when the file cannot be read.
int32_t lTailleFichier(App& app, const std::string& path);
// Last-modified date of the file in the regional general date format.
std::string sDateFichier(App& app, const std::string& path);
// Sets the file's last-write time to the date text read as local time; false
// when the file is missing or the text is not a date.
bool bFixerDateFichier(App& app, const std::string& path, const std::string& dateText);

// The cache root: program folder & "\env_prod".
std::string sRacineCache(App& app);

// Reads a date text written with the regional short date, optionally followed
// by a blank and a time (hours, minutes, optional seconds, and an AM/PM
// designator before or after them for a 12-hour clock). Fills t (local
// time, tm_isdst -1) and returns true when it is a valid date.
bool bLireDateRegionale(const platform::RegionalProfile& profile, const std::string& text, std::tm& t);

void RegisterMdl_CourrierCache(CommandTable& table);

}  // namespace kup
