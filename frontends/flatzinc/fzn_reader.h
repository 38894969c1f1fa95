// The FlatZinc reader's entry points: the scanner methods a parser context
// starts and stops its scanner with, and the parse of a whole instance.
// The generated parser's own header stays with the grammar and the scanner,
// so that the readers' parsers never meet in one translation unit.
#pragma once

#include <iosfwd>

#include "frontends/common/parser_context.h"

namespace qarn {

class fzn_scanner_methods : public parser_context::scanner_methods {
public:
    // The one instance, made on first use.
    static const fzn_scanner_methods& get();
    void start_scanner(parser_context& ctx) const override;
    void destroy_scanner(parser_context& ctx) const override;

private:
    fzn_scanner_methods() = default;
};

// Parses the instance on ctx's stream into ctx; the parser's messages of
// declarations and constraints go to `debug`. 0 on success, 1 after an error.
int parse_fzn(parser_context& ctx, std::ostream& debug);

} // namespace qarn
