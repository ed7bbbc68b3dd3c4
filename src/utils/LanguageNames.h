#pragma once

// User-interface languages: each two-letter language code with the language's
// own name, and the languages whose translation files ("ramlocore-" + code +
// ".qm") are present.

#include <map>
#include <set>
#include <string>

// Code (two lower-case letters) -> name in UTF-8: the 184 codes of ISO 639-1.
std::map<std::string, std::string> init_language_names();
// Built before main and never changed afterwards.
extern const std::map<std::string, std::string> g_language_names;

// The name of an exact (case-sensitive) code; std::runtime_error "unknown lang
// code" for any other text.
std::string lang_code_to_name(const std::string& code);

// "en" and the code of every translation file in the folder, its "i18n"
// subfolder and its "../Resources/i18n" folder. A failing search is logged and
// gives the codes found so far; a null folder gives "en" alone.
std::set<std::string> i18n_codes_available(const char* folder);
