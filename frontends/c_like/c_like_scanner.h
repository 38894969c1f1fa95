// Starts and stops the scanner of the C-like modelling language on a parser
// context; the scanner reads the context's input stream.
#pragma once

#include "frontends/common/parser_context.h"

namespace qarn {

class c_like_scanner_methods : public parser_context::scanner_methods {
public:
    // The one instance of the process, made on first use.
    static const c_like_scanner_methods& get();

    void start_scanner(parser_context& ctx) const override;
    void destroy_scanner(parser_context& ctx) const override;
};

} // namespace qarn
