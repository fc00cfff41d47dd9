#pragma once

#include <exception>
#include <functional>
#include <string>

namespace tcpipset {

// Shows the message of an error that escaped a handler in the system's message box: the
// application title as caption, the stop icon, one OK button, and the message with a "."
// appended by the rule of ReportText. Any mouse capture is cancelled first.
void ShowErrorReport(const std::string& message);
// The same for a caught error; never throws.
void ShowErrorReport(std::exception_ptr error) noexcept;

// Receives the text that would be shown instead of showing it, so that tests can see a
// report without a modal box. An empty sink restores the message box. Returns the sink
// that was set before.
using ErrorReportSink = std::function<void(const std::string& text)>;
ErrorReportSink SetErrorReportSink(ErrorReportSink sink);

// Runs a handler of the window; an error that escapes it is reported and goes no further,
// so no exception ever reaches the event loop.
template <typename Handler>
void RunReported(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ShowErrorReport(std::current_exception());
    }
}

} // namespace tcpipset
