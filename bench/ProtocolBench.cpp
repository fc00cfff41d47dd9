#include "protocol/ReplyWalk.h"
#include "protocol/Requests.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using tcpipset::Bytes;

// A device reply with a subnet mask, a gateway and a MAC address, in the buffer of the
// query operation.
Bytes QueryReply() {
    Bytes buffer{0x50, 0x54, 0x4E, 0x30, 0x41, 0x31, 0x42, 0x32, 0x43, 0x4A, 0x01,
                 0x04, 0xFF, 0xFF, 0xFF, 0x00, 0x02, 0x04, 0xC0, 0xA8, 0x01, 0x01,
                 0x0A, 0x06, 0x02, 0x00, 0x00, 0x0A, 0x1B, 0x2C, 0xFF};
    buffer.resize(tcpipset::DeviceReplyBufferSize, 0);
    return buffer;
}

// The longest walk that fits a discovery buffer: a mask item followed by MAC items up
// to the last byte.
Bytes FullDiscoveryReply() {
    Bytes buffer{0x50, 0x54, 0x4E, 0x30, 0x41, 0x31, 0x42, 0x32,
                 0x43, 0x4A, 0x01, 0x04, 0xFF, 0xFF, 0xFF, 0x00};
    while (buffer.size() + 8 < tcpipset::DiscoveryReplyBufferSize) {
        buffer.insert(buffer.end(), {0x0A, 0x06, 0x02, 0x00, 0x00, 0x0A, 0x1B, 0x2C});
    }
    buffer.push_back(tcpipset::ItemEnd);
    buffer.resize(tcpipset::DiscoveryReplyBufferSize, 0);
    return buffer;
}

void WalkQueryReply(benchmark::State& state) {
    const Bytes buffer = QueryReply();
    for (auto _ : state) {
        tcpipset::ReplyTexts texts;
        benchmark::DoNotOptimize(
            tcpipset::WalkReplyItems(buffer, tcpipset::ReplyUse::Settings, texts));
        benchmark::DoNotOptimize(texts);
    }
}
BENCHMARK(WalkQueryReply);

void WalkFullDiscoveryReply(benchmark::State& state) {
    const Bytes buffer = FullDiscoveryReply();
    for (auto _ : state) {
        tcpipset::ReplyTexts texts;
        benchmark::DoNotOptimize(
            tcpipset::WalkReplyItems(buffer, tcpipset::ReplyUse::MacAddresses, texts));
        benchmark::DoNotOptimize(texts);
    }
}
BENCHMARK(WalkFullDiscoveryReply);

void BuildDiscovery(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(tcpipset::BuildDiscoveryRequest());
    }
}
BENCHMARK(BuildDiscovery);

void BuildQuery(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(tcpipset::BuildQueryRequest("0200000A1B2C"));
    }
}
BENCHMARK(BuildQuery);

void BuildSet(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(tcpipset::BuildSetRequest("0200000A1B2C", "192.168.1.20",
                                                           "255.255.255.0", "192.168.1.1"));
    }
}
BENCHMARK(BuildSet);

void BuildRestartWithLongIp(benchmark::State& state) {
    const std::string ip(static_cast<std::size_t>(state.range(0)), '1');
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            tcpipset::BuildRestartRequest("0200000A1B2C", ip, "255.255.255.0", "192.168.1.1"));
    }
}
BENCHMARK(BuildRestartWithLongIp)->Arg(15)->Arg(200);

} // namespace

BENCHMARK_MAIN();
