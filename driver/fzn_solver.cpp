#include "driver/fzn_solver.h"

#include <iostream>
#include <streambuf>
#include <stdexcept>

#include "frontends/flatzinc/fzn_constraints.h"
#include "frontends/flatzinc/fzn_reader.h"

namespace qarn {

fzn_solver::fzn_solver(std::istream& input, const std::string& name, const qarn_flags& options,
                       table_propagator_base::memory_manager& tables)
    : m_context(*this, fzn_scanner_methods::get(), tables, &input, name) {
    m_comment_prefix = "%";
    m_status_prefix = "% s";
    m_objective_prefix = "% previous objective";
    m_context.builder().detect_all_different(options.m_all_different != 0);
    register_constraint_types();
    options.apply(*this);
    if (parse_fzn(m_context, std::cout) != 0 || !m_context.create_constraints(std::cout))
        throw std::runtime_error(name + ": Parsing failed");
}

void fzn_solver::register_constraint_types() {
    fzn_constraint::register_all(m_context.constraint_types());
}

namespace {

// Forwards to another stream buffer and remembers whether the last character
// written ended a line.
class fzn_line_tracking_buf : public std::streambuf {
public:
    fzn_line_tracking_buf(std::streambuf* target, bool at_line_start)
        : m_target(target), m_at_line_start(at_line_start) {}
    bool at_line_start() const { return m_at_line_start; }

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        m_at_line_start = traits_type::to_char_type(ch) == '\n';
        return m_target->sputc(traits_type::to_char_type(ch));
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (n > 0)
            m_at_line_start = s[n - 1] == '\n';
        return m_target->sputn(s, n);
    }
    int sync() override { return m_target->pubsync(); }

private:
    std::streambuf* m_target;
    bool m_at_line_start;
};

// The engine's own stream (proofs, proof check messages, all-solutions
// output): its first character starts a line.
class fzn_engine_line_buf : public std::streambuf {
public:
    explicit fzn_engine_line_buf(fzn_line_tracking_buf& lines) : m_lines(lines) {}

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        const char c = traits_type::to_char_type(ch);
        if (!open_line(c))
            return traits_type::eof();
        return m_lines.sputc(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (n <= 0)
            return 0;
        if (!open_line(s[0]))
            return 0;
        return m_lines.sputn(s, n);
    }
    int sync() override { return m_lines.pubsync(); }

private:
    bool open_line(char c) {
        if (m_started)
            return true;
        m_started = true;
        return c == '\n' || m_lines.at_line_start() ||
               !traits_type::eq_int_type(m_lines.sputc('\n'), traits_type::eof());
    }

    fzn_line_tracking_buf& m_lines;
    bool m_started = false;
};

} // namespace

void fzn_solver::solve_and_print(std::ostream& out) {
    m_solutions_printed = 0;
    out << "% Solving " << std::flush;
    result_type result;
    {
        // Everything written to out during the search passes the tracker, so
        // that a proof never starts on the "% Solving " line.
        fzn_line_tracking_buf lines(out.rdbuf(), false);
        struct restore {
            std::ostream& out;
            std::streambuf* buf;
            ~restore() { out.rdbuf(buf); }
        } guard{out, out.rdbuf(&lines)};
        fzn_engine_line_buf engine_buf(lines);
        std::ostream engine(&engine_buf);
        result = solve(&engine);
        engine.flush();
        m_out = &out;
    }
    out << "% " << m_backtracks_solve << " backtracks";
    if (m_restarts != 0)
        out << " " << m_restarts << " restarts";
    out << "\n";
    out << "% " << m_combinations << " non-fallback combines "
        << "out of " << m_resolutions << " total\n";
    out << "% learned " << m_non_fallback_analyses << " non-fallback constraints\n";
    switch (result) {
    case SAT:
        print_solution(out);
        break;
    case UNSAT:
        out << "=====UNSATISFIABLE=====\n";
        break;
    case BACKTRACK_LIMIT:
        out << "% Too many backtracks\n";
        unknown_unless_solved(out);
        break;
    case TIMEOUT:
        out << "% Timeout\n";
        unknown_unless_solved(out);
        break;
    case MEMOUT:
        out << "% Out of memory\n";
        unknown_unless_solved(out);
        break;
    case SAT_DONE:
        // Every solution was printed during the search.
        out << "==========\n";
        break;
    case OPTIMAL:
        // The best solution was printed during the search; it is the
        // optimum only when the search proved it.
        if (optimum_proven())
            out << "==========\n";
        break;
    }
    out << "% ASSIGNMENTS " << m_decisions << "\n";
}

void fzn_solver::unknown_unless_solved(std::ostream& out) const {
    // An all-solutions run cut short has printed its solutions: the answer
    // is not unknown then, only incomplete.
    if (m_solutions_printed == 0)
        out << "=====UNKNOWN=====\n";
}

void fzn_solver::print_solution(std::ostream& os) const {
    ++m_solutions_printed;
    m_context.print_solution(os);
    os << "----------" << std::endl;
}

std::vector<unsigned> fzn_solver::shown_vars() const {
    return m_context.shown_vars();
}

int fzn_solver::evaluate_objective() const {
    return m_context.evaluate_objective();
}

} // namespace qarn
