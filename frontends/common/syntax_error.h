// Syntax error messages of the generated parsers (bison's custom error
// reporting), in the form of bison's verbose messages, and the way every
// text reader writes its diagnostics.
#pragma once

#include <iostream>
#include <string>

namespace qarn {

// "file:line.column:message" and a line end on standard error; the file
// name and its colon are left out when the location has none.
template <class Location>
void report_parse_error(const Location& where, const std::string& message) {
    std::cerr << where.begin << ':' << message << std::endl;
}

// "syntax error"; when a token is at hand ", unexpected " and its name,
// followed by ", expecting " and the expected tokens joined by " or " when
// there are at most four. Names are the grammar's without their double
// quotes; a character outside the grammar is $undefined.
template <class Parser>
std::string syntax_error_message(const typename Parser::context& yyctx) {
    typedef typename Parser::symbol_kind symbol_kind;
    typedef typename Parser::symbol_kind_type symbol_kind_type;
    const auto name = [](symbol_kind_type kind) -> std::string {
        if (kind == symbol_kind::S_YYUNDEF)
            return "$undefined";
        return Parser::symbol_name(kind);
    };
    std::string message = "syntax error";
    const symbol_kind_type unexpected = yyctx.token();
    if (unexpected != symbol_kind::S_YYEMPTY) {
        message += ", unexpected " + name(unexpected);
        symbol_kind_type expected[4];
        const int count = yyctx.expected_tokens(expected, 4);
        for (int i = 0; i < count; ++i)
            message += (i == 0 ? ", expecting " : " or ") + name(expected[i]);
    }
    return message;
}

} // namespace qarn
