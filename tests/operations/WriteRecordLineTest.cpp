#include "ui/operations/WriteRecordLine.h"

#include "tests/operations/OperationsFixture.h"

namespace tcpipset::testing {
namespace {

struct LineCase {
    const char* name;
    WriteRecord record;
    std::string line;
};

class RecordLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(RecordLine, HoldsEveryFieldInItsPlace) {
    EXPECT_EQ(WriteRecordLine(GetParam().record), GetParam().line);
}

const AddressValues New{"198.18.0.77", "255.255.0.0", "198.18.0.1"};

// A confirmed set's whole line is held by tests/ctl/segment-record.sh. Texts from a device
// or the environment are quoted, so that none adds a field or a line.
INSTANTIATE_TEST_SUITE_P(
    Records, RecordLine,
    ::testing::Values(
        LineCase{
            "RoutedRestartOfUnknownValues",
            {.kind = WriteKind::Restart, .user = "bob", .mac = "0200000C0002", .requested = New},
            "restart mac=0200000C0002 interface=any user=bob old=unknown "
            "new=198.18.0.77/255.255.0.0/198.18.0.1 outcome=sent"},
        LineCase{"ForeignTextsOnTwoInterfaces",
                 {.sudoUser = "eve outcome=updated",
                  .mac = "0A\"1\\\x01",
                  .interfaces = {"eth0", "wlan0"},
                  .requested = New,
                  .outcome = WriteOutcome::Error,
                  .error = "Socket Error # 10051\nNetwork is unreachable."},
                 "set mac=\"0A\\\"1\\\\\\x01\" interface=eth0,wlan0 user=\"\" "
                 "sudo_user=\"eve outcome=updated\" old=unknown "
                 "new=198.18.0.77/255.255.0.0/198.18.0.1 outcome=error "
                 "error=\"Socket Error # 10051\\nNetwork is unreachable.\""}),
    CaseName());

} // namespace
} // namespace tcpipset::testing
