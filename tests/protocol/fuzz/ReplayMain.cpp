// Runs every file of the given corpus directories (or single files) through the fuzz
// target once, so the saved corpus is checked on every build without libFuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& path) {
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(path)) {
        for (const auto& entry : std::filesystem::directory_iterator(path)) {
            if (entry.is_regular_file()) {
                inputs.push_back(entry.path());
            }
        }
        std::sort(inputs.begin(), inputs.end());
    } else {
        inputs.push_back(path);
    }
    return inputs;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& input : InputsOf(argv[i])) {
            std::ifstream file(input, std::ios::binary);
            if (!file) {
                std::cerr << "cannot read " << input << '\n';
                return 1;
            }
            // A copy of exactly the file's size, so that a read past it is caught.
            const std::vector<char> chars{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
            std::vector<std::uint8_t> bytes(chars.size());
            std::transform(chars.begin(), chars.end(), bytes.begin(),
                           [](char c) { return static_cast<std::uint8_t>(c); });
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::cout << "replayed " << replayed << " inputs\n";
    // An empty corpus would make the test pass without checking anything.
    return replayed > 0 ? 0 : 1;
}
