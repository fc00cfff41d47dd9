#pragma once

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace tcpipset::languages {

// The languages that the tests read texts in: the Japanese of the catalogue, and the
// English of the sources.
inline constexpr const char* Japanese = "ja_JP.UTF-8";
inline constexpr const char* English = "C";

// LC_MESSAGES set to `locale` while it lives, with LANGUAGE out of the way (it would
// override a non-C locale). A locale that the machine lacks fails the test at once,
// rather than leaving it to compare English with Japanese.
class ScopedLanguage {
public:
    explicit ScopedLanguage(const char* locale)
        : previousLocale_(std::setlocale(LC_MESSAGES, nullptr)) {
        if (const char* language = std::getenv("LANGUAGE")) {
            previousLanguage_ = language;
            ::unsetenv("LANGUAGE");
        }
        if (std::setlocale(LC_MESSAGES, locale) == nullptr) {
            ADD_FAILURE() << "the locale " << locale
                          << " is missing on this machine: tools/install-deps generates it";
        }
    }
    ~ScopedLanguage() {
        std::setlocale(LC_MESSAGES, previousLocale_.c_str());
        if (previousLanguage_) {
            ::setenv("LANGUAGE", previousLanguage_->c_str(), 1);
        }
    }
    ScopedLanguage(const ScopedLanguage&) = delete;
    ScopedLanguage& operator=(const ScopedLanguage&) = delete;

private:
    std::string previousLocale_;
    std::optional<std::string> previousLanguage_;
};

} // namespace tcpipset::languages
