#pragma once

namespace tcpipset {

// The program's main thread, the only one on which a wait processes window events.
// main() records it before anything else. A program or test that never does so gets the
// thread that creates the first idle pump, which is the thread running the window's event
// loop; until then no thread is the main thread.
void RecordMainThread();
void AdoptMainThreadIfUnrecorded();
bool IsMainThread();

} // namespace tcpipset
