#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace tcpipset::i18n {

// Where the catalogues are looked for, first to last:
// - TCPIPSET_LOCALEDIR, for a translator trying a catalogue of their own;
// - share/locale in a folder above the program that holds a tcpipset.mo: the build folder
//   for a program run from it, the installed prefix for an installed one, wherever it
//   was moved;
// - the folder that the build was configured to install into.
std::filesystem::path LocaleDirectory();

// Binds the text domain to LocaleDirectory(), with UTF-8 texts whatever LC_CTYPE says,
// once per process; Tr() calls it before its first lookup.
void BindCatalogue();

// LC_MESSAGES from the environment, as every program takes it; the other categories
// stay "C", so that numbers keep their points. Programs without Qt call it first thing.
void UseEnvironmentLanguage();

// The catalogue folder that a program at `program` would find, with `installed` as the
// last resort: the walk above, without the environment.
std::filesystem::path FindLocaleDirectory(const std::filesystem::path& program,
                                          const std::filesystem::path& installed);

} // namespace tcpipset::i18n
