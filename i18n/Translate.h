#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Every text that a person reads goes through here, in the one text domain "tcpipset".
// The texts in the sources are English; a catalogue under share/locale gives the words of
// the language that LC_MESSAGES names, and a text that it lacks stays English.
//
// Placeholders are %1 to %99, as the catalogue's checks know them: a translation may put
// them in another order, and msgfmt --check refuses one that loses or invents a number.
namespace tcpipset::i18n {

inline constexpr const char* TextDomain = "tcpipset";

// The text in the language of LC_MESSAGES.
std::string Tr(const char* english);
// The text for a count: the catalogue's plural rule picks the form for n.
std::string TrN(const char* singular, const char* plural, std::uint64_t n);
// Marks a text for the catalogue where it is kept before it is shown, in a table say;
// Tr() translates it where it is shown.
constexpr const char* Mark(const char* english) {
    return english;
}

// The two English forms of a counted text, marked together; TrN() translates them.
struct PluralText {
    const char* singular;
    const char* plural;
};
constexpr PluralText MarkN(const char* singular, const char* plural) {
    return {singular, plural};
}
inline std::string TrN(PluralText text, std::uint64_t n) {
    return TrN(text.singular, text.plural, n);
}

// Puts each value in place of its %N, once: a value that itself holds "%2" stays as it is.
// A %N without a value, and a "%" not followed by a digit, stay as written.
std::string Substitute(std::string_view pattern, std::span<const std::string> values);

template <typename T>
std::string AsText(const T& value) {
    if constexpr (std::integral<T> && !std::same_as<T, char> && !std::same_as<T, bool>) {
        return std::to_string(value);
    } else {
        return std::string(std::string_view(value));
    }
}

// Format(Tr("interface %1 has no address %2"), name, address): values are texts or whole
// numbers.
template <typename... Values>
std::string Format(std::string_view pattern, const Values&... values) {
    const std::array<std::string, sizeof...(Values)> texts{AsText(values)...};
    return Substitute(pattern, texts);
}

} // namespace tcpipset::i18n
