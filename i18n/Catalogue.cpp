#include "i18n/Catalogue.h"

#include "i18n/Translate.h"

#include <clocale>
#include <cstdlib>
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

// A build folder nests its programs at most this deep (build/tests/ctl/x).
constexpr int FoldersAbove = 4;

bool HoldsCatalogue(const std::filesystem::path& localeDirectory) {
    std::error_code error;
    std::filesystem::directory_iterator languages(localeDirectory, error);
    if (error) {
        return false;
    }
    const std::string file = std::string(TextDomain) + ".mo";
    for (const auto& language : languages) {
        if (std::filesystem::is_regular_file(language.path() / "LC_MESSAGES" / file, error)) {
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
        bindtextdomain(TextDomain, LocaleDirectory().c_str());
        bind_textdomain_codeset(TextDomain, "UTF-8");
    });
}

void UseEnvironmentLanguage() {
    std::setlocale(LC_MESSAGES, "");
    BindCatalogue();
}

} // namespace tcpipset::i18n
