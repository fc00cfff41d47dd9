#pragma once

namespace tcpipset {

// Base of the transport's components. Between BeginLoading and EndLoading the owner sets
// the configured property values; a few setters only record their value meanwhile and
// Loaded applies it.
class TIdBaseComponent {
public:
    virtual ~TIdBaseComponent() = default;
    TIdBaseComponent(const TIdBaseComponent&) = delete;
    TIdBaseComponent& operator=(const TIdBaseComponent&) = delete;

    void BeginLoading() { loading_ = true; }
    void EndLoading() {
        loading_ = false;
        Loaded();
    }
    bool Loading() const { return loading_; }

protected:
    TIdBaseComponent() = default;
    virtual void Loaded() {}

private:
    bool loading_ = false;
};

} // namespace tcpipset
