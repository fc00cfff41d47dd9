#pragma once

namespace tcpipset {

// The application-wide cursor: crHourGlass shows the wait cursor over every window of the
// application, whatever a control would show; crDefault (or any other value) lets each
// control show its own again. Setting the value it already has changes nothing.
void SetApplicationCursor(int cursor);
int ApplicationCursor();

} // namespace tcpipset
