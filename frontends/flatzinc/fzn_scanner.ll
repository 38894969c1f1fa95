/* Tokens of FlatZinc instances, read from the context's stream. Numbers
   are unsigned (a minus sign is a token of its own): decimal, also with
   leading zeros, or hexadecimal after "0x". A comment runs from "%" to the
   end of its line and is skipped whole, never echoed. Every rule matches in
   time linear in its match. */
%option reentrant noyywrap nounput noinput nodefault 8bit
%option bison-bridge bison-locations
%option prefix="qarn_fzn_"
%option extra-type="qarn::parser_context*"

%top{
// The runtime's own yy_fatal_error stays defined although YY_FATAL_ERROR
// no longer calls it.
#pragma GCC diagnostic ignored "-Wunused-function"
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>

#include "frontends/common/scanner_runtime.h"
#include "frontends/flatzinc/fzn_reader.h"
#include "fzn_parser.hh"
}

%{
#define YYSTYPE yy::fzn_parser::semantic_type
#define YYLTYPE yy::location
#define YY_DECL int qarn::fzn_lex(YYSTYPE* yylval_param, YYLTYPE* yylloc_param, yyscan_t yyscanner)
#define YY_INPUT(buf, result, max_size) result = qarn::scanner_read(yyextra->input(), buf, max_size)
#define YY_FATAL_ERROR(message) \
    qarn::scanner_fatal_error(qarn_fzn_get_lloc(yyscanner), message, "qarn_fzn_")

typedef yy::fzn_parser::token token;

#define ADVANCE yylloc->columns(yyleng)
%}

%x COMMENT

%%

%{
    yylloc->step();
%}

"int" { ADVANCE; return token::INT; }
"bool" { ADVANCE; return token::BOOL; }
"float" { ADVANCE; return token::FLOAT; }
"set" { ADVANCE; return token::SET; }
"array" { ADVANCE; return token::ARRAY; }
"predicate" { ADVANCE; return token::PREDICATE; }
".." { ADVANCE; return token::DOTDOT; }
"::" { ADVANCE; return token::COLONCOLON; }
"var" { ADVANCE; return token::VAR; }
"of" { ADVANCE; return token::OF; }
"true" { ADVANCE; return token::TRUE; }
"false" { ADVANCE; return token::FALSE; }
"constraint" { ADVANCE; return token::CONSTRAINT; }
"solve" { ADVANCE; return token::SOLVE; }
"satisfy" { ADVANCE; return token::SATISFY; }
[0-9]+ {
    ADVANCE;
    return qarn::parse_unsigned(yytext, yytext, 10, *yylval, *yylloc);
}
"0x"[0-9a-fA-F]+ {
    ADVANCE;
    return qarn::parse_unsigned(yytext, yytext + 2, 16, *yylval, *yylloc);
}
[0-9]*"."[0-9]+ {
    ADVANCE;
    yylval->emplace<double>(std::strtod(yytext, nullptr));
    return token::FLOAT_VALUE;
}
"minimize" { ADVANCE; return token::MINIMIZE; }
"maximize" { ADVANCE; return token::MAXIMIZE; }
[A-Za-z_][A-Za-z0-9_]* {
    ADVANCE;
    yylval->emplace<std::string>(yytext, static_cast<std::size_t>(yyleng));
    return token::IDENTIFIER;
}
[ \t\r]+ { ADVANCE; yylloc->step(); }
\n+ { yylloc->lines(yyleng); yylloc->step(); }
"%" { ADVANCE; BEGIN(COMMENT); }
.|\0 {
    ADVANCE;
    // A NUL byte is no end of input but a character outside the language,
    // like a byte above 127.
    const unsigned char c = static_cast<unsigned char>(yytext[0]);
    if (c == 0 || c > 127)
        return token::YYUNDEF;
    return c;
}

<COMMENT>[^\n]+ { ADVANCE; }
<COMMENT>\n { yylloc->lines(1); yylloc->step(); BEGIN(INITIAL); }
<COMMENT><<EOF>> { return token::END; }

%%

namespace qarn {

int parse_unsigned(const char* text, const char* digits, int base,
                   yy::fzn_parser::semantic_type& value, const yy::location& where) {
    errno = 0;
    const unsigned long long v = std::strtoull(digits, nullptr, base);
    constexpr unsigned long long LARGEST = 4294967295ull;
    if (errno == ERANGE || v > LARGEST) {
        const std::ios_base::fmtflags flags = std::cerr.flags();
        std::cerr << where << ": integer " << text << " is bigger than any unsigned (";
        if (base == 16)
            std::cerr << "0x" << std::hex << LARGEST;
        else
            std::cerr << LARGEST;
        std::cerr << ")" << std::endl;
        std::cerr.flags(flags);
        return yy::fzn_parser::token::ERR;
    }
    value.emplace<std::uint64_t>(v);
    return yy::fzn_parser::token::INT_VALUE;
}

const fzn_scanner_methods& fzn_scanner_methods::get() {
    static const fzn_scanner_methods methods;
    return methods;
}

void fzn_scanner_methods::start_scanner(parser_context& ctx) const {
    void* scanner = nullptr;
    if (qarn_fzn_lex_init_extra(&ctx, &scanner) != 0)
        throw std::bad_alloc();
    ctx.set_scanner(scanner);
}

void fzn_scanner_methods::destroy_scanner(parser_context& ctx) const {
    if (ctx.scanner() != nullptr)
        qarn_fzn_lex_destroy(ctx.scanner());
    ctx.set_scanner(nullptr);
}

} // namespace qarn
