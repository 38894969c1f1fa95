// The program entry: options, the loop over the instance files, one solver
// object per instance in the chosen format, the search and the lines that
// report construction, statistics and the result.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <streambuf>
#include <string>
#include <typeinfo>

#include <unistd.h>

#include "driver/c_like_solver.h"
#include "driver/flags.h"
#include "driver/fzn_solver.h"
#include "driver/opb_solver.h"
#include "driver/output_check.h"
#include "driver/xcsp_solver.h"
#include "frontends/common/read_error.h"
#include "frontends/common/unsupported.h"
#include "impl/engine/solver.h"
#include "impl/propagators/table_propagator.h"

namespace {

typedef qarn::table_propagator_base::memory_manager memory_manager;

// The last instance's solver, never destroyed: the process ends soon after
// its run, and nothing is gained by taking a large model apart first.
void* volatile last_solver = nullptr;

// Forwards output to another stream buffer and remembers whether anything
// was written and the last character. With break_first, before the first
// character it writes a line end, unless that character is one, so that
// lines written by the engine during a search start on their own line after
// "c Solving ".
class line_start_buf : public std::streambuf {
public:
    explicit line_start_buf(std::streambuf* target, bool break_first = true)
        : m_target(target), m_break_first(break_first) {}

    bool written() const { return m_written; }
    char last() const { return m_last; }

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        const char c = traits_type::to_char_type(ch);
        if (!start(c))
            return traits_type::eof();
        return m_target->sputc(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (n <= 0)
            return 0;
        if (!start(s[0]))
            return 0;
        m_last = s[n - 1];
        return m_target->sputn(s, n);
    }
    int sync() override { return m_target->pubsync(); }

private:
    bool start(char c) {
        if (!m_written) {
            m_written = true;
            if (m_break_first && c != '\n' &&
                traits_type::eq_int_type(m_target->sputc('\n'), traits_type::eof()))
                return false;
        }
        m_last = c;
        return true;
    }

    std::streambuf* m_target;
    bool m_break_first;
    bool m_written = false;
    char m_last = '\n';
};

// Puts std::cout's original buffer back when leaving the scope.
struct restore_cout {
    std::streambuf* original;
    ~restore_cout() { std::cout.rdbuf(original); }
};

// Runs the search and writes the statistics and the result.
void solve(qarn::solver& s) {
    std::cout << "c Solving " << std::flush;
    line_start_buf engine_lines(std::cout.rdbuf());
    qarn::solver::result_type result;
    {
        restore_cout guard{std::cout.rdbuf(&engine_lines)};
        result = s.solve(&std::cout);
    }
    // When the engine wrote lines of its own, the backtrack count gets a
    // comment line of its own.
    if (engine_lines.written()) {
        if (engine_lines.last() != '\n')
            std::cout << '\n';
        std::cout << "c ";
    }
    std::cout << s.m_backtracks_solve << " backtracks";
    if (s.m_restarts != 0)
        std::cout << " " << s.m_restarts << " restarts";
    std::cout << "\n";
    std::cout << "c " << s.m_combinations << " non-fallback combines "
              << "out of " << s.m_resolutions << " total\n";
    std::cout << "c learned " << s.m_non_fallback_analyses << " non-fallback constraints\n";
    switch (result) {
    case qarn::solver::SAT:
        std::cout << "s SATISFIABLE\n";
        s.print_solution(std::cout);
        break;
    case qarn::solver::UNSAT:
        std::cout << "s UNSATISFIABLE\n";
        break;
    case qarn::solver::BACKTRACK_LIMIT:
        std::cout << "s UNKNOWN\n" << "c Too many backtracks\n";
        break;
    case qarn::solver::TIMEOUT:
        std::cout << "s UNKNOWN\n" << "c Timeout\n";
        break;
    case qarn::solver::MEMOUT:
        std::cout << "s UNKNOWN\n" << "c Out of memory\n";
        break;
    case qarn::solver::SAT_DONE:
    case qarn::solver::OPTIMAL:
        break;
    }
    std::cout << "d ASSIGNMENTS " << s.m_decisions << "\n";
}

template <class T>
std::unique_ptr<T> construct(std::istream& input, const std::string& name, const char* prefix,
                             const per_format_flags& options, memory_manager& tables) {
    std::cout << prefix << " Constructing " << name << " " << std::flush;
    auto s = std::make_unique<T>(input, name, options, tables);
    std::cout << prefix << " with " << static_cast<std::uint32_t>(s->constraints().size())
              << " constraints\n";
    return s;
}

// Constructs and solves one instance; false when it could not be read.
template <class T>
bool solve_file(std::istream& input, const std::string& name, const per_format_flags& options,
                memory_manager& tables, bool more_follow) {
    std::unique_ptr<T> s;
    // What construction writes, seen for whether its last line is complete.
    line_start_buf construction(std::cout.rdbuf(), false);
    try {
        restore_cout guard{std::cout.rdbuf(&construction)};
        s = construct<T>(input, name, "c", options, tables);
    } catch (const qarn::read_error& e) {
        // Reported like a file that cannot be opened; the instance is not
        // solved. The "c Constructing" line is ended first.
        if (construction.last() != '\n')
            std::cout << '\n';
        std::cerr << name << ": " << e.what() << "\n";
        return false;
    } catch (const std::bad_alloc&) {
        std::cout << "s UNKNOWN\n" << "c Out of memory while constructing the problem\n";
        return true;
    } catch (const qarn::unsupported& e) {
        std::cout << "\ns UNSUPPORTED\n" << "c " << e.what() << std::endl;
        return true;
    }
    solve(*s);
    // The last instance's solver lives until the process ends.
    if (!more_follow)
        last_solver = s.release();
    return true;
}

// Constructs and solves one FlatZinc instance, with FlatZinc lines for the
// construction failures; false when it could not be read.
bool solve_fzn_file(std::istream& input, const std::string& name, const per_format_flags& options,
                    memory_manager& tables, bool more_follow) {
    std::unique_ptr<qarn::fzn_solver> s;
    line_start_buf construction(std::cout.rdbuf(), false);
    try {
        restore_cout guard{std::cout.rdbuf(&construction)};
        s = construct<qarn::fzn_solver>(input, name, "%", options, tables);
    } catch (const qarn::read_error& e) {
        if (construction.last() != '\n')
            std::cout << '\n';
        std::cerr << name << ": " << e.what() << "\n";
        return false;
    } catch (const std::bad_alloc&) {
        std::cout << "% Out of memory while constructing the problem\n" << "=====UNKNOWN=====\n";
        return true;
    } catch (const qarn::unsupported& e) {
        std::cout << "\n% UNSUPPORTED\n" << "% " << e.what() << "\n" << "=====UNKNOWN=====" << std::endl;
        return true;
    }
    s->solve_and_print(std::cout);
    if (!more_follow)
        last_solver = s.release();
    return true;
}

bool solve_file(std::istream& input, const std::string& name, const per_format_flags& options,
                memory_manager& tables, bool more_follow) {
    if (options.m_format == per_format_flags::XCSP)
        return solve_file<qarn::xcsp_solver>(input, name, options, tables, more_follow);
    if (options.m_format == per_format_flags::OPB)
        return solve_file<opb_solver>(input, name, options, tables, more_follow);
    if (options.m_format == per_format_flags::FZN)
        return solve_fzn_file(input, name, options, tables, more_follow);
    if (options.m_format == per_format_flags::C_LIKE)
        return solve_file<qarn::c_like_solver>(input, name, options, tables, more_follow);
    std::cerr << "Unknown input format " << options.m_format << "\n";
    return true;
}

// What the program writes to standard output, checked after each instance.
qarn::checked_output_buf* results = nullptr;

bool results_written() {
    return !results || results->check(std::cout);
}

int main_impl(int argc, char** argv) {
    per_format_flags options;
    if (!options.parse(argc, argv))
        return 1;
    if (options.m_help)
        return 0;
    static memory_manager* tables = new memory_manager;
    if (optind >= argc) {
        const bool solved = solve_file(std::cin, "<stdin>", options, *tables, false);
        return solved ? 0 : 1;
    }
    int status = 0;
    for (int i = optind; i < argc; ++i) {
        std::ifstream input(argv[i]);
        if (!input.is_open()) {
            std::cerr << argv[i] << ": cannot open: " << std::strerror(errno) << "\n";
            status = 1;
            continue;
        }
        if (!solve_file(input, argv[i], options, *tables, i + 1 < argc))
            status = 1;
        if (!results_written())
            status = 1;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    // Never destroyed: std::cout is flushed through it at exit.
    results = new qarn::checked_output_buf(std::cout.rdbuf());
    std::cout.rdbuf(results);
    try {
        const int status = main_impl(argc, argv);
        return results_written() ? status : 1;
    } catch (const std::exception& e) {
        const char* type = typeid(e).name();
        if (*type == '*')
            ++type;
        std::cout << "Exception(" << type << "):\n" << e.what() << std::endl;
    } catch (...) {
        std::cout << "unknown exception" << std::endl;
    }
    results_written();
    return 1;
}
