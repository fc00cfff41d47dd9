#pragma once

#include "tests/operations/LoopbackDevice.h"
#include "tests/operations/ScriptedView.h"
#include "tests/operations/ShownFields.h"
#include "transport/IdUDPClient.h"
#include "ui/operations/DeviceOperations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>

namespace tcpipset::testing {

// The operations on a real endpoint that sends to a loopback device instead of the
// broadcast address, with a short receive time-out to keep the tests quick.
class OperationsTest : public ::testing::Test {
protected:
    static constexpr std::int32_t ShortTimeoutMs = 250;

    void StartDevice(LoopbackDevice::Script script) {
        device = std::make_unique<LoopbackDevice>(std::move(script));
        client.SetHost("127.0.0.1");
        client.SetPort(device->Port());
        client.SetReceiveTimeout(ShortTimeoutMs);
    }
    // A device that answers every request with the same replies.
    void StartDeviceAnswering(std::vector<ScriptedReply> replies) {
        StartDevice([replies](const Datagram&) { return replies; });
    }
    // Selects a listed line as a double click on it would.
    void SelectLine(const std::string& line) {
        view.ClearMacList();
        view.AppendMacLine(line);
        view.PlaceCaret(3);
    }

    ScriptedView view;
    TIdUDPClient client;
    std::unique_ptr<LoopbackDevice> device;
    DeviceOperations operations{view, client};
};

inline std::string Text(const Datagram& bytes) {
    return {bytes.begin(), bytes.end()};
}

// Names parameterised cases after the `name` of their row.
struct CaseName {
    template <class Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
        return row.param.name;
    }
};

inline const std::vector<std::uint8_t> Mask24{0xFF, 0xFF, 0xFF, 0x00};
inline const std::vector<std::uint8_t> Gateway1921681{0xC0, 0xA8, 0x01, 0x01};

inline std::vector<std::uint8_t> Mac(std::uint8_t last) {
    return {0x02, 0x00, 0x00, 0x0A, 0x1B, last};
}

} // namespace tcpipset::testing
