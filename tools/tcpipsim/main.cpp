#include "tools/tcpipsim/Options.h"
#include "tools/tcpipsim/SimError.h"
#include "tools/tcpipsim/Simulator.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tcpipset::sim;
    try {
        const Options options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        }
        // The signals that stop the simulator are let through only while it waits, so
        // a stop never falls between testing the flag and starting to wait.
        sigset_t stopSignals;
        sigset_t waitMask;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGINT);
        sigaddset(&stopSignals, SIGTERM);
        sigaddset(&stopSignals, SIGHUP);
        sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
        sigdelset(&waitMask, SIGINT);
        sigdelset(&waitMask, SIGTERM);
        sigdelset(&waitMask, SIGHUP);
        struct sigaction action {};
        action.sa_handler = RequestStop;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);

        Simulator simulator(options);
        simulator.Run(stopRequested, &waitMask);
        return 0;
    } catch (const SimError& e) {
        std::fprintf(stderr, "tcpipsim: %s\n", e.what());
        return 2;
    }
}
