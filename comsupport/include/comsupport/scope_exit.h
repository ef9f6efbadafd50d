// scope_exit: runs a callable when the scope is left.
#pragma once

#include <utility>

namespace pelkary {

// Runs `f` on destruction unless dismissed.
template <typename F>
class scope_exit_t {
public:
    explicit scope_exit_t(F f) noexcept : f_(std::move(f)) {}
    scope_exit_t(const scope_exit_t&) = delete;
    scope_exit_t& operator=(const scope_exit_t&) = delete;
    ~scope_exit_t() { if (armed_) f_(); }
    void dismiss() noexcept { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

template <typename F>
[[nodiscard]] scope_exit_t<F> scope_exit(F f) noexcept { return scope_exit_t<F>(std::move(f)); }

}  // namespace pelkary
