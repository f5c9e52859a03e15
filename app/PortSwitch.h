#pragma once
#include <memory>
#include <utility>

#include "port/Port.h"

namespace pm {

// The window's port, which "Porta…" can exchange while nothing runs: every
// access goes to the port in use now.
class PortSwitch final : public Port {
public:
    explicit PortSwitch(std::unique_ptr<Port> port) : port_(std::move(port)) {}
    void vbOut(std::int16_t address, std::int16_t value) override { port_->vbOut(address, value); }
    std::int16_t vbInp(std::int16_t address) override { return port_->vbInp(address); }
    std::string fault() const override { return port_->fault(); }
    std::string describe() const override { return port_->describe(); }

    Port& current() { return *port_; }
    // The old port is closed when it goes.
    void replace(std::unique_ptr<Port> port) { port_ = std::move(port); }

private:
    std::unique_ptr<Port> port_;
};

}  // namespace pm
