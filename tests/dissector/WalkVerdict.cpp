// walk_verdict FILE...: what the programs do with each reply of the reply_walk corpus
// (first byte odd: a query's buffer, even: a discovery's; the rest is the datagram):
//   NAME KIND skip|complete|abort cut|whole MAC|MASK|GATEWAY   (the texts walked)
#include "protocol/ReplyWalk.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

using namespace tcpipset;

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        const std::vector<unsigned char> input{std::istreambuf_iterator<char>(file), {}};
        if (input.empty()) {
            return 1; // unreadable, or without the byte that picks the buffer
        }
        const bool device = (input[0] & 1) != 0;
        const std::size_t taken = device ? DeviceBytesPerReceive : DiscoveryBytesPerReceive;
        std::vector<std::uint8_t> buffer(device ? DeviceReplyBufferSize : DiscoveryReplyBufferSize);
        for (std::size_t b = 1; b < input.size() && b <= taken; ++b) {
            buffer[b - 1] = input[b];
        }
        ReplyTexts texts;
        const char* outcome = "skip";
        if (!ReplyIsSkipped(buffer)) {
            const auto use = device ? ReplyUse::Settings : ReplyUse::MacAddresses;
            const bool complete = WalkReplyItems(buffer, use, texts) == WalkOutcome::Complete;
            outcome = complete ? "complete" : "abort";
        }
        std::cout << std::filesystem::path(argv[i]).filename().string()
                  << (device ? " device " : " discovery ") << outcome
                  << (input.size() - 1 > taken ? " cut " : " whole ") << texts.MacText << '|'
                  << texts.MaskText << '|' << texts.GatewayText << '\n';
    }
    return 0;
}
