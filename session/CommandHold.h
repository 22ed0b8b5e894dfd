#pragma once

#include <functional>
#include <utility>

namespace zelvar {

// Runs that let window events run part-way (the session's stop, the close
// sequence) hold the user's commands while they change the state those
// commands act on: a command that arrives meanwhile is refused, and a close
// request waits until the last run has ended.
class CommandHold {
public:
    class [[nodiscard]] Scope {
    public:
        explicit Scope(CommandHold& hold) : hold_(&hold) { ++hold.depth_; }
        Scope(Scope&& other) noexcept : hold_(std::exchange(other.hold_, nullptr)) {}
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        Scope& operator=(Scope&&) = delete;
        ~Scope() {
            if (hold_) hold_->release();
        }

    private:
        CommandHold* hold_;
    };

    Scope hold() { return Scope(*this); }
    bool held() const { return depth_ > 0; }
    // Runs `action` when the last run ends; a later call replaces an earlier one.
    void whenReleased(std::function<void()> action) { deferred_ = std::move(action); }

private:
    void release() {
        if (--depth_ > 0 || !deferred_) return;
        const std::function<void()> action = std::exchange(deferred_, nullptr);
        action();
    }

    int depth_ = 0;
    std::function<void()> deferred_;
};

// Raises a flag for as long as it lives: a run that lets events through
// marks itself so that what those events start can see it.
class [[nodiscard]] FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

}  // namespace zelvar
