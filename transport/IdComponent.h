#pragma once

#include "transport/IdBaseComponent.h"

namespace tcpipset {

// Base of every network component: each one alive is a user of the socket stack, so the
// first creates the stack and the last destroys it. Construction raises what the creation
// of the stack raises.
class TIdComponent : public TIdBaseComponent {
public:
    ~TIdComponent() override;

protected:
    TIdComponent();
};

} // namespace tcpipset
