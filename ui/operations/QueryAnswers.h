#pragma once

#include <string>
#include <vector>

namespace tcpipset {

// The devices that answered the last query of one line. A set or restart names its device
// by the last six digits of the MAC only, so every device that answers that line's query
// would take it as well.
class QueryAnswers {
public:
    struct Device {
        std::string mac;     // the reply's MAC items, empty when it carried none
        std::string address; // the reply's source address
        // Where its replies came in; empty when the platform did not tell.
        std::vector<std::string> interfaces;
        // The subnet mask and gateway of its last reply that was read to its end.
        std::string mask;
        std::string gateway;
        bool read = false;
    };

    // Forgets the answers of earlier queries: these are of the line's query now sent.
    void Start(const std::string& line);
    // The device that sent this reply, noted on its first one.
    Device& Note(const std::string& address, const std::string& macText,
                 const std::string& interfaceName);
    // Whether the last query of this line was answered by more than one device: replies
    // from distinct source addresses, or with distinct MAC items.
    bool Several(const std::string& line) const;
    // The distinct devices that answered, in the order they first did.
    const std::vector<Device>& Devices() const { return devices_; }

private:
    std::string line_;
    std::vector<Device> devices_;
};

} // namespace tcpipset
