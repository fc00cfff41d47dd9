#include "transport/IdComponent.h"

#include "transport/SocketStack.h"

namespace tcpipset {

TIdComponent::TIdComponent() {
    EnterStackUser();
}

TIdComponent::~TIdComponent() {
    LeaveStackUser();
}

} // namespace tcpipset
