#include "CountingDispatcher.h"
#include "RecordingStack.h"
#include "transport/IdAntiFreeze.h"
#include "transport/IdExceptions.h"
#include "transport/IdUDPClient.h"

#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace tcpipset {
namespace {

using testing::ScopedRecordingStack;
using testing::StackRecord;

TEST(StackLifetime, LibraryStartsOnceAcrossStackGenerations) {
    StackRecord record;
    const ScopedRecordingStack scoped(record);
    ASSERT_FALSE(LibraryStarted());
    ASSERT_EQ(SocketStack(), nullptr);

    auto first = std::make_unique<TIdUDPClient>();
    auto second = std::make_unique<TIdUDPClient>();
    EXPECT_EQ(StackUserCount(), 2);
    EXPECT_EQ(record.stacksMade, 1);
    EXPECT_EQ(record.startupCalls, 1);
    EXPECT_EQ(record.calls.front(), "startup 514"); // version 2.2
    EXPECT_TRUE(LibraryStarted());
    const TIdStack* firstStack = SocketStack();

    first.reset();
    EXPECT_EQ(SocketStack(), firstStack);
    second.reset();
    EXPECT_EQ(StackUserCount(), 0);
    EXPECT_EQ(SocketStack(), nullptr);
    EXPECT_TRUE(LibraryStarted());

    const TIdUDPClient third;
    EXPECT_EQ(record.stacksMade, 2);
    EXPECT_EQ(record.startupCalls, 1);
    EXPECT_NE(SocketStack(), nullptr);
}

TEST(StackLifetime, FailedStartupLeavesNoUserAndIsTriedAgain) {
    StackRecord record;
    record.startupResult = 10091;
    const ScopedRecordingStack scoped(record);

    EXPECT_THROW(TIdUDPClient{}, EIdStackInitializationFailed);
    EXPECT_FALSE(LibraryStarted());
    EXPECT_EQ(StackUserCount(), 0);
    EXPECT_EQ(SocketStack(), nullptr);

    record.startupResult = 0;
    const TIdUDPClient component;
    EXPECT_EQ(record.startupCalls, 2);
    EXPECT_TRUE(LibraryStarted());
    EXPECT_EQ(StackUserCount(), 1);
}

TEST(StackLifetime, PumpIsNotANetworkComponent) {
    StackRecord record;
    const ScopedRecordingStack scoped(record);
    testing::CountingDispatcher dispatcher;
    const TIdAntiFreeze pump(dispatcher);
    EXPECT_EQ(StackUserCount(), 0);
    EXPECT_EQ(SocketStack(), nullptr);
    EXPECT_EQ(record.stacksMade, 0);
}

TEST(StackLifetime, SocketCallWithoutStackRaisesStubError) {
    ASSERT_EQ(SocketStack(), nullptr);
    try {
        RequireSocketStack("socket");
        FAIL() << "no exception";
    } catch (const EIdWS2StubError& error) {
        EXPECT_EQ(error.Win32Error(), 10093u);
        EXPECT_EQ(error.Title(), "Error on call Winsock2 library function socket");
        EXPECT_TRUE(error.Message().starts_with(error.Title() + ": "));
        EXPECT_FALSE(error.Message().ends_with("."));
    }
}

// Components made and destroyed on several threads at once keep the count and the stack
// in step.
TEST(StackLifetime, ConcurrentComponentsKeepTheCount) {
    StackRecord record;
    const ScopedRecordingStack scoped(record);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 300; ++i) {
                const TIdUDPClient component;
                if (SocketStack() == nullptr) {
                    std::abort();
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(StackUserCount(), 0);
    EXPECT_EQ(SocketStack(), nullptr);
    EXPECT_EQ(record.startupCalls, 1);
}

} // namespace
} // namespace tcpipset
