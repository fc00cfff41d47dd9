#include "i18n/Catalogue.h"

#include "i18n/Translate.h"

#include <clocale>
#include <cstdlib>
#include <exception>
#include <libintl.h>
#include <mutex>
#include <system_error>

// The build gives the folder that it installs to; a compiler run of its own (a fuzzer's)
// gets the default prefix's.
#ifndef TCPIPSET_INSTALLED_LOCALEDIR
#define TCPIPSET_INSTALLED_LOCALEDIR "/usr/local/share/locale"
#endif

namespace tcpipset::i18n {

namespace {

// The program's folder and the three above it: a build nests its programs no deeper
// (build/tests/ctl/fuzz/replay), and an installed one needs one step (usr/bin).
constexpr int FoldersAbove = 4;

bool HoldsCatalogue(const std::filesystem::path& localeDirectory) {
    std::error_code error;
    std::filesystem::directory_iterator languages(localeDirectory, error);
    if (error) {
        return false;
    }
    const std::string file = std::string(TextDomain) + ".mo";
    // Stepped with an error code: a folder that cannot be read to its end holds nothing.
    for (auto it = std::filesystem::begin(languages);
         !error && it != std::filesystem::end(languages); it.increment(error)) {
        std::error_code missing; // most languages lack this program's texts
        if (std::filesystem::is_regular_file(it->path() / "LC_MESSAGES" / file, missing)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::filesystem::path FindLocaleDirectory(const std::filesystem::path& program,
                                          const std::filesystem::path& installed) {
    std::filesystem::path folder = program.parent_path();
    for (int level = 0; level < FoldersAbove && !folder.empty(); ++level) {
        const auto candidate = folder / "share" / "locale";
        if (HoldsCatalogue(candidate)) {
            return candidate;
        }
        if (folder == folder.parent_path()) {
            break;
        }
        folder = folder.parent_path();
    }
    return installed;
}

std::filesystem::path LocaleDirectory() {
    if (const char* chosen = std::getenv("TCPIPSET_LOCALEDIR"); chosen && *chosen) {
        return chosen;
    }
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return TCPIPSET_INSTALLED_LOCALEDIR;
    }
    return FindLocaleDirectory(program, TCPIPSET_INSTALLED_LOCALEDIR);
}

void BindCatalogue() {
    static std::once_flag bound;
    std::call_once(bound, [] {
        // A text is looked up while an error is being raised, too: no search for the
        // catalogue may throw in its place, and without one the texts stay English.
        std::filesystem::path folder = TCPIPSET_INSTALLED_LOCALEDIR;
        try {
            folder = LocaleDirectory();
        } catch (const std::exception&) {
        }
        bindtextdomain(TextDomain, folder.c_str());
        bind_textdomain_codeset(TextDomain, "UTF-8");
    });
}

void UseEnvironmentLanguage() {
    std::setlocale(LC_MESSAGES, "");
    BindCatalogue();
}

} // namespace tcpipset::i18n
