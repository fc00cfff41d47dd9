#pragma once

#include "ui/window/TfrmMain.h"

#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace tcpipset::testing {

// The window, shown and active, with its endpoint aimed at the loopback discard port: a
// test that sends by mistake reaches no network.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { Open({"127.0.0.1", 9, 200, std::nullopt}); }

    void Open(const EndpointSettings& endpoint) {
        // A pump that goes leaves no pump in force, so the old window goes first.
        window.reset();
        window = std::make_unique<TfrmMain>(endpoint);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    std::unique_ptr<TfrmMain> window;
};

} // namespace tcpipset::testing
