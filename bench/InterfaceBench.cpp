#include "transport/IdInterfaces.h"
#include "transport/IdStackPosix.h"

#include <benchmark/benchmark.h>

namespace {

using tcpipset::TIdInterface;
using tcpipset::TIdInterfaceList;

// Every limited broadcast lists the machine's interfaces anew; this is what that costs.
// Only reads: nothing is sent.
void BM_ListInterfaces(benchmark::State& state) {
    tcpipset::TIdStackPosix stack;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stack.ListInterfaces());
    }
}
BENCHMARK(BM_ListInterfaces);

// The choice among a busy workstation's interfaces: loopback, two cables, Wi-Fi, a bridge
// and VPN tunnels, some with a second address.
void BM_ChooseBroadcastInterfaces(benchmark::State& state) {
    TIdInterfaceList all;
    for (std::uint32_t i = 1; i <= 12; ++i) {
        TIdInterface entry{"if" + std::to_string(i),
                           i,
                           i % 4 != 0,
                           i % 3 != 0,
                           i == 1,
                           tcpipset::TIdIPv4Bytes{198, 18, static_cast<std::uint8_t>(i), 1},
                           24,
                           {}};
        all.push_back(entry);
        all.push_back(entry);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(tcpipset::BroadcastInterfaces(all));
    }
}
BENCHMARK(BM_ChooseBroadcastInterfaces);

} // namespace

BENCHMARK_MAIN();
