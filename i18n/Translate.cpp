#include "i18n/Translate.h"

#include "i18n/Catalogue.h"

#include <cstddef>
#include <libintl.h>

namespace tcpipset::i18n {

std::string Tr(const char* english) {
    BindCatalogue();
    return dgettext(TextDomain, english);
}

std::string TrN(const char* singular, const char* plural, std::uint64_t n) {
    BindCatalogue();
    // gettext's count is an unsigned long, as wide as ours here.
    return dngettext(TextDomain, singular, plural, static_cast<unsigned long>(n));
}

std::string Substitute(std::string_view pattern, std::span<const std::string> values) {
    std::string text;
    text.reserve(pattern.size());
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        const char c = pattern[pos];
        if (c != '%' || pos + 1 >= pattern.size() || pattern[pos + 1] < '1' ||
            pattern[pos + 1] > '9') {
            text.push_back(c);
            ++pos;
            continue;
        }
        std::size_t end = pos + 2;
        std::size_t number = static_cast<std::size_t>(pattern[pos + 1] - '0');
        if (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9') {
            number = number * 10 + static_cast<std::size_t>(pattern[end] - '0');
            ++end;
        }
        if (number > values.size()) {
            text.append(pattern.substr(pos, end - pos));
        } else {
            text.append(values[number - 1]);
        }
        pos = end;
    }
    return text;
}

} // namespace tcpipset::i18n
