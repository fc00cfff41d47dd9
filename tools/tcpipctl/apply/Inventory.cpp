#include "tools/tcpipctl/apply/Inventory.h"

#include "i18n/Translate.h"
#include "tools/tcpipctl/AddressOptions.h"
#include "tools/tcpipctl/Command.h"
#include "tools/tcpipctl/MacArgument.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <optional>
#include <unordered_map>
#include <utility>

namespace tcpipset {

namespace {

using i18n::Format;
using i18n::Mark;
using i18n::Tr;
using i18n::TrN;

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
// The devices are addressed on the wire by the last six digits of their MAC.
// The kernel's IFNAMSIZ less the terminating zero.
constexpr std::size_t MaxInterfaceName = 15;
// A parse error quotes the token it stopped at, which may be a whole long string.
constexpr std::size_t MaxQuotedError = 160;

enum Field : std::size_t { Mac, Ip, Mask, Gateway, Interface, FieldCount };
constexpr std::array<std::string_view, FieldCount> FieldNames{"mac", "ip", "mask", "gateway",
                                                              "interface"};
// TRANSLATORS: the names of the columns, which a file must use as they are.
constexpr const char* FieldList = Mark("mac, ip, mask, gateway and interface");

using Values = std::array<std::string, FieldCount>;

// Blanks around a CSV field mean nothing; a CR is the first half of a CRLF line end.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::optional<Field> FieldNamed(std::string_view name, bool anyCase) {
    for (std::size_t i = 0; i < FieldCount; ++i) {
        const std::string_view known = FieldNames[i];
        if (name.size() == known.size() &&
            std::equal(name.begin(), name.end(), known.begin(),
                       [anyCase](char a, char b) { return (anyCase ? Lower(a) : a) == b; })) {
            return static_cast<Field>(i);
        }
    }
    return std::nullopt;
}

// An empty value would vanish from a message; it is shown as the command line's are.
std::string Shown(std::string_view value) {
    return value.empty() ? "''" : std::string(value);
}

// A problem is one line of text, whatever the values it quotes hold: control characters
// (a line break inside quotes, say) are written as escapes.
std::string Escaped(std::string_view text) {
    constexpr std::string_view Hex = "0123456789ABCDEF";
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\r') {
            escaped += "\\r";
        } else {
            escaped += "\\x";
            escaped += Hex[byte >> 4];
            escaped += Hex[byte & 0xF];
        }
    }
    return escaped;
}

// A message of set's checks in the words of a file: the command's prefix dropped, and its
// options named as the file's columns ("--mask M" becomes "mask M").
std::string InFileWords(const std::string& text, std::string_view prefix) {
    std::string words = text.starts_with(prefix) ? text.substr(prefix.size()) : text;
    for (auto at = words.find(" --"); at != std::string::npos; at = words.find(" --", at)) {
        words.erase(at + 1, 2);
    }
    return words;
}

// The names the kernel takes for an interface, kept to printable ASCII so that the name
// is written to JSON as it was read.
bool IsInterfaceName(std::string_view name) {
    return !name.empty() && name.size() <= MaxInterfaceName && name != "." && name != ".." &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return c > ' ' && c < '\x7F' && c != '/' && c != ':'; });
}

std::size_t LineAt(std::string_view text, std::size_t offset) {
    const auto before = text.substr(0, std::min(offset, text.size()));
    return 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
}

// A row's addresses as a set checks them. A device that reported no mask or no gateway is
// exported with that field empty, and the row keeps whatever the device holds there: the
// other addresses are then checked alone.
AddressVerdict CheckRowAddresses(const Command& set) {
    if (!set.mask.empty() && !set.gateway.empty()) {
        return CheckAddressOptions(set);
    }
    AddressVerdict verdict{CheckLoneAddress("--ip", set.ip, AddressKind::IpAddress), {}};
    if (verdict.refusal.empty() && !set.mask.empty()) {
        verdict.refusal = CheckLoneAddress("--mask", set.mask, AddressKind::SubnetMask);
    }
    if (verdict.refusal.empty() && !set.gateway.empty()) {
        verdict.refusal = CheckLoneAddress("--gateway", set.gateway, AddressKind::GatewayAddress);
    }
    return verdict;
}

// Checks a row's values as a set checks its options, and against the rows before it.
class RowChecker {
public:
    explicit RowChecker(Inventory& inventory) : inventory_(inventory) {}

    void Check(std::size_t line, const Values& given);

    void Problem(std::size_t line, std::string_view reason) {
        inventory_.problems.push_back({line, Escaped(reason)});
    }

private:
    // Where a value was first seen; a later row with it names that line.
    // `again` says so, with the value and the earlier line.
    bool FirstOf(std::unordered_map<std::string, std::size_t>& seen, const std::string& key,
                 std::size_t line, const char* again) {
        const auto [earlier, first] = seen.try_emplace(key, line);
        if (!first) {
            Problem(line, Format(Tr(again), key, earlier->second));
        }
        return first;
    }

    Inventory& inventory_;
    std::unordered_map<std::string, std::size_t> macLines_;
    std::unordered_map<std::string, std::size_t> ipLines_;
    std::unordered_map<std::string, std::size_t> rowOfMac_; // index in inventory_.rows
};

void RowChecker::Check(std::size_t line, const Values& given) {
    Values values;
    std::transform(given.begin(), given.end(), values.begin(),
                   [](const std::string& value) { return std::string(Trimmed(value)); });
    bool good = true;

    const auto mac = NormaliseMacArgument(values[Mac]);
    if (!mac) {
        Problem(line, Format(Tr("mac %1: not a MAC address (12 hexadecimal digits)"),
                             Shown(values[Mac])));
        good = false;
    }
    Command set;
    set.verb = Verb::Set;
    set.ip = values[Ip];
    set.mask = values[Mask];
    set.gateway = values[Gateway];
    const AddressVerdict verdict = CheckRowAddresses(set);
    if (!verdict.refusal.empty()) {
        Problem(line, InFileWords(verdict.refusal, "tcpipctl: --"));
        good = false;
    }
    const std::string& interfaceName = values[Interface];
    if (!interfaceName.empty() && !IsInterfaceName(interfaceName)) {
        Problem(line, Format(Tr("interface %1: not an interface name (1 to 15 printable "
                                "characters, no / or :)"),
                             Shown(interfaceName)));
        good = false;
    }

    // Compared and kept in the one form, as 10.0.0.01 and 10.0.0.1 are one device's
    // address; the warning is worded in it too, so that a written row reads back the same.
    for (std::string* value : {&set.ip, &set.mask, &set.gateway}) {
        if (verdict.refusal.empty() && !value->empty()) {
            *value = *CanonicalBroadcast(*value);
        }
    }
    // export writes a device that answered on two interfaces once for each: the same
    // values on another interface are that one device again.
    if (mac && good) {
        const auto earlier = rowOfMac_.find(*mac);
        if (earlier != rowOfMac_.end()) {
            const InventoryRow& first = inventory_.rows[earlier->second];
            if (first.ip == set.ip && first.mask == set.mask && first.gateway == set.gateway &&
                !first.interfaceName.empty() && !interfaceName.empty() &&
                first.interfaceName != interfaceName) {
                return;
            }
        }
    }
    // Two MACs that share their last six digits are two devices that export found: the
    // plan refuses to write either, and the rest of the file is applied.
    if (!mac || !FirstOf(macLines_, *mac, line, Mark("MAC %1 is also on line %2"))) {
        good = false;
    }
    if (!verdict.refusal.empty()) {
        return;
    }
    if (FirstOf(ipLines_, set.ip, line, Mark("ip %1 is also on line %2")) && good) {
        const std::string warning = CheckRowAddresses(set).warning;
        rowOfMac_[*mac] = inventory_.rows.size();
        inventory_.rows.push_back(
            {line, *mac, set.ip, set.mask, set.gateway, interfaceName, InFileWords(warning, "--")});
    }
}

struct Record {
    std::size_t line = 0;
    std::vector<std::string> fields;
    std::string fault; // why the record cannot be read; its fields are then incomplete
};

// Splits CSV into records at the line ends outside quotes and into fields at commas.
class CsvRecords {
public:
    explicit CsvRecords(std::string_view text) : text_(text) {}

    // The next record; false at the end of the text.
    bool Next(Record& record);

private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return text_[pos_]; }
    void SkipBlanks() {
        while (!AtEnd() && IsBlank(Peek())) {
            ++pos_;
        }
    }
    // Reads a quoted field from its opening quote; false when the text ends inside it.
    bool ReadQuoted(std::string& field);
    void SkipLine() {
        while (!AtEnd() && Peek() != '\n') {
            ++pos_;
        }
        EndLine();
    }
    void EndLine() {
        if (!AtEnd()) {
            ++pos_;
            ++line_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

bool CsvRecords::ReadQuoted(std::string& field) {
    ++pos_;
    while (!AtEnd()) {
        const char c = text_[pos_++];
        if (c == '"') {
            if (AtEnd() || Peek() != '"') {
                return true;
            }
            ++pos_;
        } else if (c == '\n') {
            ++line_;
        }
        field += c;
    }
    return false;
}

bool CsvRecords::Next(Record& record) {
    if (AtEnd()) {
        return false;
    }
    record = Record{line_, {}, {}};
    for (;;) {
        const std::size_t start = pos_;
        SkipBlanks();
        std::string field;
        if (!AtEnd() && Peek() == '"') {
            if (!ReadQuoted(field)) {
                record.fault = Tr("a quote opened in this row is never closed");
                return true;
            }
            SkipBlanks();
            if (!AtEnd() && Peek() != ',' && Peek() != '\n') {
                record.fault = Tr("text after the closing quote of a field");
                SkipLine();
                return true;
            }
        } else {
            pos_ = std::min(text_.find_first_of(",\n", start), text_.size());
            field = Trimmed(text_.substr(start, pos_ - start));
        }
        record.fields.push_back(std::move(field));
        if (AtEnd() || Peek() == '\n') {
            EndLine();
            return true;
        }
        ++pos_; // the comma
    }
}

// Blank lines, and the lines of bare commas that spreadsheets write below their data.
bool IsEmptyRecord(const Record& record) {
    return record.fault.empty() &&
           std::all_of(record.fields.begin(), record.fields.end(),
                       [](const std::string& field) { return field.empty(); });
}

Inventory ReadCsv(std::string_view text) {
    Inventory inventory;
    RowChecker checker(inventory);
    CsvRecords records(text);
    Record header;
    bool headed = false;
    while (!headed && records.Next(header)) {
        headed = !IsEmptyRecord(header);
    }
    if (!headed) {
        checker.Problem(1, Tr("no header line: an inventory begins with mac,ip,mask,gateway and "
                              "optionally interface, or is a JSON array"));
        return inventory;
    }
    if (!header.fault.empty()) {
        checker.Problem(header.line, header.fault);
        return inventory;
    }
    // A spreadsheet in many locales writes ";" between fields: one problem, not one for
    // each row.
    if (header.fields.size() == 1 && header.fields.front().find(';') != std::string::npos) {
        checker.Problem(header.line, Tr("the separator is \";\"; use \",\" (save the file as "
                                        "CSV with commas)"));
        return inventory;
    }

    constexpr std::size_t Absent = static_cast<std::size_t>(-1);
    std::array<std::size_t, FieldCount> columnOf;
    columnOf.fill(Absent);
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
        const std::string& name = header.fields[i];
        const auto field = FieldNamed(name, true);
        if (!field) {
            checker.Problem(header.line, Format(Tr("unknown column %1 (the columns are %2)"),
                                                Shown(name), Tr(FieldList)));
        } else if (columnOf[*field] != Absent) {
            checker.Problem(header.line, Format(Tr("column %1 appears twice"), FieldNames[*field]));
        } else {
            columnOf[*field] = i;
        }
    }
    for (const Field required : {Mac, Ip, Mask, Gateway}) {
        if (columnOf[required] == Absent) {
            checker.Problem(header.line, Format(Tr("no column %1"), FieldNames[required]));
        }
    }
    if (!inventory.problems.empty()) {
        return inventory; // the rows cannot be told apart without their columns
    }

    Record record;
    while (records.Next(record)) {
        if (!record.fault.empty()) {
            checker.Problem(record.line, record.fault);
        } else if (IsEmptyRecord(record)) {
            continue;
        } else if (record.fields.size() != header.fields.size()) {
            checker.Problem(record.line,
                            Format(TrN("%1 field where the header has %2",
                                       "%1 fields where the header has %2", record.fields.size()),
                                   record.fields.size(), header.fields.size()));
        } else {
            Values values;
            for (std::size_t f = 0; f < FieldCount; ++f) {
                values[f] = columnOf[f] == Absent ? std::string() : record.fields[columnOf[f]];
            }
            checker.Check(record.line, values);
        }
    }
    return inventory;
}

// The line where each element of the top-level array begins. nlohmann gives no positions
// of values, so the text is walked once, minding its nesting and its strings. For text
// that parses, the elements found here are the parser's, in its order.
std::vector<std::size_t> ElementLines(std::string_view text) {
    std::vector<std::size_t> lines;
    std::size_t line = 1;
    std::size_t depth = 0;
    bool valueDue = false;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
        }
        if (inString) {
            if (c == '\\') {
                ++i; // an escaped character, never a raw line end in valid JSON
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            continue;
        }
        if (depth == 1 && valueDue && c != ']') {
            lines.push_back(line);
        }
        valueDue = false;
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            valueDue = ++depth == 1;
            break;
        case ']':
        case '}':
            depth -= depth > 0 ? 1 : 0;
            break;
        case ',':
            valueDue = depth == 1;
            break;
        default:
            break;
        }
    }
    return lines;
}

// Takes the elements of the top-level array as rows as the parser meets them.
class InventorySax final : public nlohmann::json_sax<nlohmann::json> {
public:
    InventorySax(RowChecker& checker, std::vector<std::size_t> elementLines)
        : checker_(checker), elementLines_(std::move(elementLines)) {}

    bool null() override {
        if (InObject() && key_ == Interface) {
            Take(""); // no interface: every one
            return true;
        }
        return Scalar(Mark("null"));
    }
    bool boolean(bool /*value*/) override { return Scalar(Mark("true or false")); }
    bool number_integer(number_integer_t /*value*/) override { return Scalar(Mark("a number")); }
    bool number_unsigned(number_unsigned_t /*value*/) override { return Scalar(Mark("a number")); }
    bool number_float(number_float_t /*value*/, const string_t& /*text*/) override {
        return Scalar(Mark("a number"));
    }
    bool string(string_t& value) override {
        if (InObject()) {
            Take(value);
            return true;
        }
        return Scalar(Mark("a string"));
    }
    bool binary(binary_t& /*value*/) override { return Scalar(Mark("binary data")); }
    bool start_object(std::size_t /*elements*/) override { return Open(true); }
    bool start_array(std::size_t /*elements*/) override { return Open(false); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }

    bool key(string_t& name) override {
        if (!InObject()) {
            return true;
        }
        key_ = FieldNamed(name, false);
        if (!key_) {
            ElementProblem(
                Format(Tr("unknown key %1 (the keys are %2)"), Shown(name), Tr(FieldList)));
        } else if (seen_[*key_]) {
            ElementProblem(Format(Tr("key %1 appears twice"), name));
            key_.reset();
        } else {
            seen_[*key_] = true;
        }
        return true;
    }

    bool parse_error(std::size_t position, const std::string& /*token*/,
                     const nlohmann::detail::exception& error) override {
        errorPosition_ = position;
        errorText_ = error.what();
        return false;
    }

    std::size_t ErrorPosition() const { return errorPosition_; }
    const std::string& ErrorText() const { return errorText_; }

private:
    // Depth 1 is the inventory array, depth 2 the inside of one of its elements.
    bool InObject() const { return depth_ == 2 && elementIsObject_; }

    bool Open(bool object) {
        if (depth_ == 1) {
            StartElement();
            elementIsObject_ = object;
            if (!object) {
                ElementProblem(Format(Tr("%1 where an object is due"), Tr("an array")));
            }
        } else if (InObject()) {
            ValueProblem(object ? Mark("an object") : Mark("an array"));
        }
        ++depth_;
        return true;
    }

    bool Close() {
        depth_ -= depth_ > 0 ? 1 : 0;
        if (depth_ == 1 && elementIsObject_) {
            FinishObject();
        }
        return true;
    }

    // `what` names the kind of value, marked for the catalogue and translated here.
    bool Scalar(const char* what) {
        if (depth_ == 1) {
            StartElement();
            elementIsObject_ = false;
            // TRANSLATORS: %1 names a kind of JSON value, as "a number".
            ElementProblem(Format(Tr("%1 where an object is due"), Tr(what)));
        } else if (InObject()) {
            ValueProblem(what);
        }
        return true;
    }

    void StartElement() {
        line_ = element_ < elementLines_.size() ? elementLines_[element_] : 1;
        ++element_;
        values_ = {};
        seen_ = {};
        key_.reset();
        faulty_ = false;
    }

    void Take(std::string value) {
        if (key_) {
            values_[*key_] = std::move(value);
        }
    }

    void ValueProblem(const char* what) {
        if (key_) {
            // TRANSLATORS: %1 is a key of the file, %2 names a kind of JSON value, as "a number".
            ElementProblem(Format(Tr("%1: %2 where a string is due"), FieldNames[*key_], Tr(what)));
        }
    }

    void ElementProblem(std::string_view reason) {
        checker_.Problem(line_, reason);
        faulty_ = true;
    }

    void FinishObject() {
        for (const Field required : {Mac, Ip, Mask, Gateway}) {
            if (!seen_[required]) {
                ElementProblem(Format(Tr("no key %1"), FieldNames[required]));
            }
        }
        if (!faulty_) {
            checker_.Check(line_, values_);
        }
    }

    RowChecker& checker_;
    const std::vector<std::size_t> elementLines_;
    std::size_t depth_ = 0;
    std::size_t element_ = 0;
    std::size_t line_ = 1;
    bool elementIsObject_ = false;
    bool faulty_ = false;
    Values values_;
    std::array<bool, FieldCount> seen_{};
    std::optional<Field> key_;
    std::size_t errorPosition_ = 0;
    std::string errorText_;
};

// nlohmann's message less its "[json.exception.parse_error.101] parse error at line L,
// column C: ", since the line is given as the problem's own.
std::string ParseErrorReason(std::string text) {
    if (const auto bracket = text.find("] ");
        text.starts_with("[json.exception.") && bracket != std::string::npos) {
        text.erase(0, bracket + 2);
    }
    if (const auto colon = text.find(": ");
        text.starts_with("parse error") && colon != std::string::npos) {
        text.erase(0, colon + 2);
    }
    if (text.size() > MaxQuotedError) {
        text.resize(MaxQuotedError);
        text += "...";
    }
    // TRANSLATORS: %1 is the JSON parser's own message, in English.
    return Format(Tr("not valid JSON: %1"), Escaped(text));
}

Inventory ReadJson(std::string_view text) {
    Inventory inventory;
    RowChecker checker(inventory);
    InventorySax sax(checker, ElementLines(text));
    if (nlohmann::json::sax_parse(text.begin(), text.end(), &sax)) {
        return inventory;
    }
    // The rows before the fault may be whole, but a file that does not parse is not used.
    // The position counts the byte the parser stopped at.
    const std::size_t position = sax.ErrorPosition();
    return {{},
            {{LineAt(text, position > 0 ? position - 1 : 0), ParseErrorReason(sax.ErrorText())}}};
}

} // namespace

Inventory ReadInventory(std::string_view text, const std::vector<std::string>* hostInterfaces) {
    if (text.starts_with(ByteOrderMark)) {
        text.remove_prefix(ByteOrderMark.size());
    }
    const auto first = text.find_first_not_of(" \t\r\n");
    Inventory inventory =
        first != std::string_view::npos && text[first] == '[' ? ReadJson(text) : ReadCsv(text);
    // A file exported on another host may name an interface this one lacks: its devices
    // would only ever be missing.
    if (hostInterfaces != nullptr) {
        std::string has;
        for (const auto& name : *hostInterfaces) {
            has += (has.empty() ? "" : ", ") + name;
        }
        std::erase_if(inventory.rows, [&](const InventoryRow& row) {
            const bool unknown =
                !row.interfaceName.empty() &&
                std::ranges::find(*hostInterfaces, row.interfaceName) == hostInterfaces->end();
            if (unknown) {
                inventory.problems.push_back(
                    // TRANSLATORS: %2 lists this host's interfaces, or says "none".
                    {row.line, Format(Tr("interface %1: this host has no interface of that name "
                                         "(it has %2)"),
                                      Escaped(row.interfaceName), has.empty() ? Tr("none") : has)});
            }
            return unknown;
        });
        std::ranges::stable_sort(inventory.problems, {}, &InventoryProblem::line);
    }
    // A file without a single device is almost surely the wrong file, not a site whose
    // every device is as it should be.
    if (inventory.rows.empty() && inventory.problems.empty()) {
        inventory.problems.push_back(
            {LineAt(text, first == std::string_view::npos ? 0 : first),
             Tr("no device: the inventory has no rows (is it the right file?)")});
    }
    return inventory;
}

std::string ProblemText(std::string_view file, const InventoryProblem& problem) {
    return std::string(file) + ":" + std::to_string(problem.line) + ": " + problem.reason;
}

} // namespace tcpipset
