#include "tools/tcpipctl/apply/InventoryWriter.h"

#include <nlohmann/json.hpp>
#include <string_view>

namespace tcpipset {

namespace {

bool TrimmedOnReading(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string CsvField(std::string_view value) {
    const bool plain =
        value.find_first_of(",\"\n") == std::string_view::npos &&
        (value.empty() || (!TrimmedOnReading(value.front()) && !TrimmedOnReading(value.back())));
    if (plain) {
        return std::string(value);
    }
    std::string quoted = "\"";
    for (const char c : value) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

} // namespace

std::string InventoryCsv(const std::vector<InventoryRow>& rows) {
    std::string text = "mac,ip,mask,gateway,interface\n";
    for (const InventoryRow& row : rows) {
        for (const std::string* field : {&row.mac, &row.ip, &row.mask, &row.gateway}) {
            text += CsvField(*field);
            text += ',';
        }
        text += CsvField(row.interfaceName);
        text += '\n';
    }
    return text;
}

std::string InventoryJson(const std::vector<InventoryRow>& rows) {
    std::string text = "[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        nlohmann::ordered_json object;
        object["mac"] = rows[i].mac;
        object["ip"] = rows[i].ip;
        object["mask"] = rows[i].mask;
        object["gateway"] = rows[i].gateway;
        object["interface"] = rows[i].interfaceName;
        text += i == 0 ? "\n" : ",\n";
        // As Output's JsonText writes values: bytes that are not UTF-8 are replaced rather
        // than ending the export.
        text += object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    }
    return text + (rows.empty() ? "]\n" : "\n]\n");
}

} // namespace tcpipset
