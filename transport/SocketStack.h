#pragma once

#include "transport/IdStack.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace tcpipset {

// The process-wide socket stack: it exists while at least one network component exists.
// The socket library is started once per process, with the first stack, and stays started
// even when every network component goes and a new one comes.

// The stack in force, or null while no network component exists.
TIdStack* SocketStack();
// The stack in force; without one raises EIdWS2StubError naming the function that needed it.
TIdStack& RequireSocketStack(const char* functionName);

std::int32_t StackUserCount();
// Guards StackUserCount and the creation and destruction of the stack.
std::mutex& StackLock();
bool LibraryStarted();

// Called by every network component when it is created and destroyed. Entering creates the
// stack for the first user and starts the library when it has not been started; if either
// fails, the count is restored and the failure escapes to the component being created.
void EnterStackUser();
void LeaveStackUser() noexcept;

// Test hooks. The factory makes every new stack (an empty one makes TIdStackPosix) and
// returns the factory it replaces; forgetting the start-up lets a test observe it again.
// Neither may be used while a network component exists.
using TIdStackFactory = std::function<std::unique_ptr<TIdStack>()>;
TIdStackFactory SetStackFactory(TIdStackFactory factory);
void ForgetLibraryStartedForTesting();

} // namespace tcpipset
