// Shared helper for raising a fixed std::runtime_error message without
// building the exception at every call site.
#pragma once

namespace qarn {

[[noreturn]] void throw_runtime_error(const char* message);

}  // namespace qarn
