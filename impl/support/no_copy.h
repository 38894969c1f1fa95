// Base of objects that are never copied (the solver, the parser contexts).
#pragma once

namespace qarn {

class no_copy {
protected:
    no_copy() = default;
    ~no_copy() = default;

public:
    no_copy(const no_copy&) = delete;
    no_copy& operator=(const no_copy&) = delete;
};

} // namespace qarn
