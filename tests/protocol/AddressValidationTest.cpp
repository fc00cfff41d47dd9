#include "protocol/AddressValidation.h"

#include "protocol/ParseInteger.h"

#include <array>
#include <gtest/gtest.h>
#include <iomanip>
#include <string>

namespace tcpipset {
namespace {

struct Verdict {
    enum { Accept, Reject, Raise } kind;
    std::string offendingText; // for Raise
};

const Verdict T{Verdict::Accept, {}};
const Verdict F{Verdict::Reject, {}};
Verdict Error(std::string text) {
    return {Verdict::Raise, std::move(text)};
}

struct AddressCase {
    std::string text;
    Verdict ip;
    Verdict mask;
    Verdict gateway;
};

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

void ExpectVerdict(const std::string& text, AddressKind kind, const Verdict& expected) {
    SCOPED_TRACE("kind " + std::to_string(static_cast<int>(kind)));
    switch (expected.kind) {
    case Verdict::Accept:
        EXPECT_TRUE(ValidateAddress(text, kind));
        break;
    case Verdict::Reject:
        EXPECT_FALSE(ValidateAddress(text, kind));
        break;
    case Verdict::Raise:
        try {
            ValidateAddress(text, kind);
            ADD_FAILURE() << "no conversion error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + expected.offendingText + "' is not an integer");
        }
        break;
    }
}

class ValidateAddressTest : public testing::TestWithParam<AddressCase> {};

TEST_P(ValidateAddressTest, DecidesEachKind) {
    const AddressCase& c = GetParam();
    ExpectVerdict(c.text, AddressKind::IpAddress, c.ip);
    ExpectVerdict(c.text, AddressKind::SubnetMask, c.mask);
    ExpectVerdict(c.text, AddressKind::GatewayAddress, c.gateway);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, ValidateAddressTest,
    testing::Values(AddressCase{"192.168.0.1", T, T, T}, AddressCase{"10.0.0.1", T, T, T},
                    AddressCase{"126.255.255.254", T, T, T}, AddressCase{"128.0.0.1", T, T, T},
                    AddressCase{"191.255.255.254", T, T, T}, AddressCase{"223.1.1.1", T, T, T},
                    AddressCase{"1.2.3.4", T, T, T}, AddressCase{"127.0.0.1", F, T, F},
                    AddressCase{"224.0.0.1", F, T, F}, AddressCase{"255.255.255.0", F, T, F},
                    AddressCase{"192.168.0.0", F, T, F}, AddressCase{"192.168.0.255", F, T, F},
                    AddressCase{"0.0.0.1", F, T, F}, AddressCase{"256.1.1.1", F, F, F},
                    AddressCase{"1.256.1.1", F, F, F}, AddressCase{"1.1.256.1", F, F, F},
                    AddressCase{"1.1.1.256", F, F, F}, AddressCase{"-1.1.1.1", F, F, F},
                    AddressCase{"1.-1.1.1", F, F, F}));

INSTANTIATE_TEST_SUITE_P(NoGateway, ValidateAddressTest,
                         testing::Values(AddressCase{"0.0.0.0", F, T, T},
                                         AddressCase{"00.0.000.0", F, T, T},
                                         AddressCase{"$0.x0.-0.+0", F, T, T}));

INSTANTIATE_TEST_SUITE_P(
    Splitting, ValidateAddressTest,
    testing::Values(AddressCase{"0192.0168.0000.0001", T, T, T},
                    AddressCase{"1.1.1.0000000001", T, T, T}, AddressCase{"12345.1.1.1", F, F, F},
                    AddressCase{"1.12345.1.1", F, F, F}, AddressCase{"", F, F, F},
                    AddressCase{"192.168.1", F, F, F}, AddressCase{".1.1.1", F, F, F},
                    AddressCase{"1..1.1", F, F, F}, AddressCase{"1.1.1..1", F, F, F},
                    AddressCase{"1.1.1..x", F, F, F}, AddressCase{"...", F, F, F},
                    AddressCase{"1.1.1.1.1", Error("1.1"), Error("1.1"), Error("1.1")},
                    AddressCase{"1.1.1.", Error(""), Error(""), Error("")},
                    AddressCase{"300.1.1.", Error(""), Error(""), Error("")},
                    AddressCase{"1.1.1.99999999999", Error("99999999999"), Error("99999999999"),
                                Error("99999999999")},
                    AddressCase{"a.1.1.1", Error("a"), Error("a"), Error("a")},
                    AddressCase{"1.1.b.c", Error("b"), Error("b"), Error("b")},
                    AddressCase{"1.1.1.1 ", Error("1 "), Error("1 "), Error("1 ")}));

// Text that reaches a field without passing the key filter.
INSTANTIATE_TEST_SUITE_P(Pasted, ValidateAddressTest,
                         testing::Values(AddressCase{" 192.168.0.1", T, T, T},
                                         AddressCase{"$C0.168.0.1", T, T, T},
                                         AddressCase{"  192.168.0.1", F, F, F},
                                         AddressCase{"x7F.0.0.1", F, T, F}));

TEST(ValidateAddressOrder, ConvertsThePartsLeftToRight) {
    // The first failing part is the one named, even when a later one fails too.
    try {
        ValidateAddress("a.b.c.d", AddressKind::IpAddress);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'a' is not an integer");
    }
}

struct KeyCase {
    char32_t typed;
    bool passes;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << "U+" << std::hex << std::uppercase << std::setw(4) << std::setfill('0')
        << static_cast<std::uint32_t>(c.typed) << (c.passes ? " passes" : " is dropped");
}

class FilterAddressKeyTest : public testing::TestWithParam<KeyCase> {};

TEST_P(FilterAddressKeyTest, PassesOnlyDigitsDotAndBackspace) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(FilterAddressKey(c.typed), c.passes ? c.typed : U'\0');
}

INSTANTIATE_TEST_SUITE_P(
    Keys, FilterAddressKeyTest,
    testing::Values(KeyCase{8, true}, KeyCase{U'.', true}, KeyCase{U'0', true}, KeyCase{U'5', true},
                    KeyCase{U'9', true}, KeyCase{0, false}, KeyCase{1, false}, KeyCase{7, false},
                    KeyCase{9, false}, KeyCase{10, false}, KeyCase{13, false}, KeyCase{22, false},
                    KeyCase{27, false}, KeyCase{127, false}, KeyCase{U' ', false},
                    KeyCase{U'/', false}, KeyCase{U':', false}, KeyCase{U',', false},
                    KeyCase{U'-', false}, KeyCase{U'$', false}, KeyCase{U'a', false},
                    KeyCase{U'A', false}, KeyCase{U'x', false}, KeyCase{0xFF10, false},
                    KeyCase{0xFF0E, false}, KeyCase{0x3002, false}));

} // namespace
} // namespace tcpipset
