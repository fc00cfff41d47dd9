#pragma once

#include "tests/operations/ScriptedView.h"

#include <ostream>
#include <string>

namespace tcpipset::testing {

// The texts of Edit1, Edit2 and Edit3, compared as one value.
struct Fields {
    std::string ip, mask, gateway;
    bool operator==(const Fields&) const = default;
};
inline void PrintTo(const Fields& f, std::ostream* os) {
    *os << "{" << f.ip << ", " << f.mask << ", " << f.gateway << "}";
}

inline Fields Shown(const ScriptedView& view) {
    return {view.FieldText(AddressField::Edit1), view.FieldText(AddressField::Edit2),
            view.FieldText(AddressField::Edit3)};
}

} // namespace tcpipset::testing
