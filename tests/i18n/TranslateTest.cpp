#include "i18n/Translate.h"

#include "i18n/Catalogue.h"
#include "tests/i18n/Language.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tcpipset::i18n {
namespace {

struct SubstituteCase {
    const char* name;
    std::string pattern;
    std::vector<std::string> values;
    std::string expected;
};

class SubstituteTest : public ::testing::TestWithParam<SubstituteCase> {};

TEST_P(SubstituteTest, PutsEachValueInItsPlaceOnce) {
    const auto& c = GetParam();
    EXPECT_EQ(Substitute(c.pattern, c.values), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, SubstituteTest,
    ::testing::Values(
        SubstituteCase{"InOrder", "%1 -> %2", {"a", "b"}, "a -> b"},
        SubstituteCase{"Reordered", "%2 の %1", {"a", "b"}, "b の a"},
        SubstituteCase{"Repeated", "%1/%1", {"x"}, "x/x"},
        // An entered text may hold a placeholder of its own: it is never read again.
        SubstituteCase{"ValueHoldsPlaceholder", "'%1' %2", {"%2", "b"}, "'%2' b"},
        SubstituteCase{"NoValue", "%1 %3", {"a"}, "a %3"},
        SubstituteCase{
            "TwoDigits", "%10", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten"}, "ten"},
        SubstituteCase{"PercentSign", "10% of %1%", {"5"}, "10% of 5%"},
        SubstituteCase{
            "ValueWithNull", "'%1'", {std::string("a\0b", 3)}, std::string("'a\0b'", 5)}),
    [](const auto& row) { return row.param.name; });

TEST(FormatTest, TakesTextsAndWholeNumbers) {
    EXPECT_EQ(Format("%1 of %2 from %3", 3, std::string("4"), "198.18.0.1"),
              "3 of 4 from 198.18.0.1");
}

// Folders laid out as a build folder and as an installed prefix, each with a catalogue.
class LocaleDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("tcpipset-locale-" + std::to_string(::getpid()));
        std::filesystem::remove_all(root_);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    void AddCatalogue(const std::filesystem::path& prefix) {
        const auto folder = prefix / "share/locale/ja/LC_MESSAGES";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "tcpipset.mo") << "";
    }
    std::filesystem::path root_;
};

TEST_F(LocaleDirectoryTest, FindsTheCatalogueAboveTheProgram) {
    AddCatalogue(root_ / "build");
    AddCatalogue(root_ / "prefix");
    // Languages without this program's texts, read before and after the one with them.
    for (const char* language : {"aa", "de", "zu"}) {
        std::filesystem::create_directories(root_ / "prefix/share/locale" / language /
                                            "LC_MESSAGES");
    }
    const std::filesystem::path fallback = "/configured/share/locale";
    const struct {
        std::filesystem::path program;
        std::filesystem::path expected;
    } rows[] = {
        {root_ / "build/tools/tcpipctl/tcpipctl", root_ / "build/share/locale"},
        {root_ / "build/tests/ctl/fuzz/replay", root_ / "build/share/locale"},
        {root_ / "build/app/tcpipset", root_ / "build/share/locale"},
        {root_ / "prefix/bin/tcpipctl", root_ / "prefix/share/locale"},
        // Too deep to be a program of the build; and a folder with no catalogue at all.
        {root_ / "build/a/b/c/d/program", fallback},
        {root_ / "elsewhere/bin/tcpipctl", fallback},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FindLocaleDirectory(row.program, fallback), row.expected) << row.program;
    }
}

// The catalogue of the build folder is found without installing, and LC_MESSAGES alone
// picks the language.
TEST(TranslateTest, LanguageFollowsMessagesLocale) {
    const struct {
        const char* locale;
        const char* expected;
    } rows[] = {
        {languages::Japanese, "TCP/IPアドレスは更新されました。"},
        {languages::English, "The TCP/IP address was updated."},
        {"POSIX", "The TCP/IP address was updated."},
    };
    for (const auto& row : rows) {
        languages::ScopedLanguage language(row.locale);
        EXPECT_EQ(Tr("The TCP/IP address was updated."), row.expected) << row.locale;
    }
}

} // namespace
} // namespace tcpipset::i18n
