// The executable's version record: file and product version 1.0.0.2, as numbers and as
// texts, every other text field empty. It is an ELF note of its own, so `readelf -n`
// lists it, and its texts are plain bytes that `strings` finds.

#include <cstdint>

namespace {

struct VersionNote {
    std::uint32_t nameSize;
    std::uint32_t descriptionSize;
    std::uint32_t type;
    char name[12];
    // File version, then product version, each as four 16-bit numbers.
    std::uint16_t numbers[8];
    char texts[104];
};

constexpr char Owner[] = "tcpipset";
constexpr std::uint32_t VersionRecordType = 1;

[[gnu::used, gnu::section(".note.tcpipset.version"),
  gnu::aligned(4)]] constexpr VersionNote versionRecord{
    sizeof(Owner),
    sizeof(VersionNote::numbers) + sizeof(VersionNote::texts),
    VersionRecordType,
    "tcpipset",
    {1, 0, 0, 2, 1, 0, 0, 2},
    "FileVersion=1.0.0.2\0ProductVersion=1.0.0.2\0CompanyName=\0FileDescription=\0"
    "ProductName=\0LegalCopyright=",
};

} // namespace
