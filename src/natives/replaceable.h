// Functions the natives take from the system that a test can stand in for (answers a system
// cannot give, arguments it does not keep): the natives call what current() gives, the system's
// own or those of the innermost live replacement.
#pragma once

#include <atomic>

namespace natives {

template <class Functions>
class Replacement {
public:
    // Puts `functions` in the place of the system's while it lives; replacements nest.
    explicit Replacement(const Functions& functions) : previous_(slot().exchange(&functions)) {}
    ~Replacement() { slot().store(previous_); }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    // Those of the innermost live replacement, else `system`.
    static const Functions& current(const Functions& system) {
        const Functions* replaced = slot().load();
        return replaced ? *replaced : system;
    }

private:
    static std::atomic<const Functions*>& slot() {
        static std::atomic<const Functions*> replaced{nullptr};
        return replaced;
    }

    const Functions* previous_;
};

}  // namespace natives
