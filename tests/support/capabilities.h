// SPDX-License-Identifier: MIT
#pragma once
// Root passes every permission check. For its lifetime, a WithoutCapabilities
// makes this thread give up the capabilities named, so the checks apply as
// they do for an operator; the destructor takes them back. Nothing changes
// for a process that is not root.
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

namespace gaspuff::test {

class WithoutCapabilities {
  public:
    explicit WithoutCapabilities(std::initializer_list<int> capabilities) {
        if (::geteuid() != 0 || ::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct lowered[2];
        std::memcpy(lowered, saved_, sizeof lowered);
        for (const int c : capabilities) lowered[c / 32].effective &= ~(1u << (c % 32));
        lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~WithoutCapabilities() {
        if (lowered_) ::syscall(SYS_capset, &header_, saved_);
    }
    WithoutCapabilities(const WithoutCapabilities&) = delete;
    WithoutCapabilities& operator=(const WithoutCapabilities&) = delete;

  private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool lowered_ = false;
};

}  // namespace gaspuff::test
