// Option scanning, usage text, consistency check and apply().
#include "driver/flags.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

#include "impl/engine/solver.h"
#include "impl/support/random.h"

namespace qarn {

namespace {

std::uint32_t whole_number(const char* text) {
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 0));
}

} // namespace

// ---------------------------------------------------------------------------
// flags

std::string flags::legal_args() const {
    return "h";
}

bool flags::parse_option(char letter) {
    if (letter != 'h')
        return false;
    m_help = true;
    return true;
}

void flags::usage_short(std::ostream& os) const {
    os << "[-h]";
}

void flags::usage_long(std::ostream& os) const {
    os << "  -h  Gives this help message\n";
}

bool flags::parse(int argc, char** argv) {
    const std::string options = legal_args();
    const char* program = argc > 0 ? argv[0] : "qarn";
    for (;;) {
        const int letter = getopt(argc, argv, options.c_str());
        if (letter == -1)
            break;
        if (letter == '?') {
            usage(std::cout, program);
            return false;
        }
        if (!parse_option(static_cast<char>(letter))) {
            std::cerr << "Bad option -" << static_cast<char>(letter) << "\n";
            usage(std::cout, program);
            return false;
        }
    }
    if (m_help)
        usage(std::cout, program);
    else
        validate_consistent();
    return true;
}

void flags::usage(std::ostream& os, const char* program) const {
    os << "Usage: " << program << " ";
    usage_short(os);
    os << "\n";
    usage_long(os);
}

// ---------------------------------------------------------------------------
// qarn_flags

std::string qarn_flags::legal_args() const {
    return flags::legal_args() + "DdmVGgApaJj:s:l:o:c:b:r:e:C:E:L:f:i:k:";
}

bool qarn_flags::parse_option(char letter) {
    switch (letter) {
    case 'l': m_report_level = static_cast<std::int32_t>(std::strtol(optarg, nullptr, 10)); break;
    case 's': m_seed = whole_number(optarg); break;
    case 'o': m_opportunistic_threshold = whole_number(optarg); break;
    case 'c': m_max_conflict_clause = whole_number(optarg); break;
    case 'f': m_cost_lowering_factor = whole_number(optarg); break;
    case 'i': m_analysis_cost_factor = std::strtod(optarg, nullptr); break;
    case 'k': m_conflict_cost_factor = std::strtod(optarg, nullptr); break;
    case 'd': m_all_solutions = !m_all_solutions; break;
    case 'D': m_quiet = !m_quiet; break;
    case 'b': m_backtrack_limit = whole_number(optarg); break;
    case 'r': m_restart_threshold = static_cast<std::int32_t>(whole_number(optarg)); break;
    case 'a': m_all_different = m_all_different <= 0 ? 1 : 0; break;
    case 'e': m_conflicts_before_boosting_effort = static_cast<std::int32_t>(whole_number(optarg)); break;
    case 'C': m_keep_constraints_from_conflicts = static_cast<std::int32_t>(whole_number(optarg)); break;
    case 'E': m_erase_after_backtracks = static_cast<std::int32_t>(whole_number(optarg)); break;
    case 'V': m_validate_unsat = !m_validate_unsat; break;
    case 'p': m_produce_proof = !m_produce_proof; break;
    case 'G': m_intersect_with_ground = m_intersect_with_ground == 0 ? 1 : 0; break;
    case 'j': m_relaxation_mode = whole_number(optarg); break;
    case 'J': m_relax_cause_node = !m_relax_cause_node; break;
    case 'm': m_combine_constraints = !m_combine_constraints; break;
    case 'g': m_check_domain_ages = !m_check_domain_ages; break;
    case 'A': m_augment_explanations = !m_augment_explanations; break;
    default: return flags::parse_option(letter);
    }
    return true;
}

void qarn_flags::validate_consistent() const {
    if (m_intersect_with_ground != 0 && (m_validate_unsat || m_produce_proof))
        throw std::runtime_error(
            "Can't work with proofs when intersect_with_ground is in effect, try the -G flag.\n"
            "Note: it will make a different runs.");
    // Costs are multiplied by (N-1)/N on every backtrack: N = 1 would zero them.
    if (m_cost_lowering_factor == 1)
        throw std::runtime_error("The cost lowering factor (-f) must be 0 (the default) or at least 2.");
}

void qarn_flags::apply(solver& s) const {
    const unsigned seed = random::set_seed(m_seed);
    std::cout << "c Seed is " << seed << std::endl;
    s.m_report_level = m_report_level;
    s.m_validate_unsat = m_validate_unsat;
    s.m_produce_proof = m_produce_proof;
    if (m_max_conflict_clause != NOT_GIVEN)
        s.m_max_conflict_clause = m_max_conflict_clause;
    if (m_opportunistic_threshold != 0)
        s.m_opportunistic_threshold = m_opportunistic_threshold;
    if (m_restart_threshold >= 0)
        s.m_initial_restart_interval = static_cast<unsigned>(m_restart_threshold);
    if (static_cast<std::int32_t>(m_backtrack_limit) >= 0)
        s.m_backtrack_limit = m_backtrack_limit;
    if (m_cost_lowering_factor != 0)
        s.assignment().cost_growth(1.0 / (m_cost_lowering_factor - 1.0) + 1.0);
    if (m_analysis_cost_factor > 0.0)
        s.m_analysis_cost_factor = m_analysis_cost_factor;
    if (m_conflict_cost_factor > 0.0)
        s.m_conflict_cost_factor = m_conflict_cost_factor;
    if (m_quiet)
        s.m_quiet = true;
    if (m_all_solutions)
        s.m_all_solutions = true;
    if (m_conflicts_before_boosting_effort >= 0)
        s.m_effort_boost_after = static_cast<unsigned>(m_conflicts_before_boosting_effort);
    if (m_keep_constraints_from_conflicts > 0)
        s.m_keep_window = static_cast<unsigned>(m_keep_constraints_from_conflicts);
    if (m_erase_after_backtracks > 0)
        s.m_erase_period = static_cast<unsigned>(m_erase_after_backtracks);
    s.produce_proof(m_validate_unsat || m_produce_proof);
    if (m_intersect_with_ground >= 0)
        s.m_intersect_with_ground = m_intersect_with_ground != 0;
    s.m_literal_relaxation = static_cast<int>(std::min<std::uint32_t>(m_relaxation_mode, 2));
    s.m_relax_cause = m_relax_cause_node;
    s.m_combine_general = m_combine_constraints;
    s.m_check_domain_ages = m_check_domain_ages;
    s.m_augment_explanations = m_augment_explanations;
}

void qarn_flags::usage_short(std::ostream& os) const {
    flags::usage_short(os);
    os << " [-s seed] [-l report_level] [-o opportunistic_threshold]\n"
       << "       [-c max_conflict_clause] [-b backtrack_limit] "
       << "[-r restart_threshold]\n"
       << "       [-C keep_constraints_from_conflicts] "
       << "[-E erase_after_backtracks]\n"
       << "       [-e conflicts_before_boosting_effort] "
       << "[-f cost_lowering_factor]\n"
       << "       [-i analysis_cost_factor] [-k conflict_cost_factor] "
       << "[-a|-p|-y|-A|-g|-J|-m]\n"
       << "       [file1 [file2[...]]]";
}

void qarn_flags::usage_long(std::ostream& os) const {
    flags::usage_long(os);
    os << "  -p  Toggle whether a proof is to be produced (default no)\n"
       << "  -V  Toggle whether to validate UNSAT using the proof mechanism "
       << "(default no)\n"
       << "  -G  Toggle whether to intersect conflict clause domains with "
       << "ground zero\n"
       << "      domains\n"
       << "  -g  Toggle whether to let explainer check domain ages "
       << "(default yes)\n"
       << "  -A  Toggle whether to augment explanations (default yes)\n"
       << "      Augmented explanations are weaker clauses than strict "
       << "explanations; they\n"
       << "      add freedom to the pivot if the resolution will hide it\n"
       << "  -a  Toggle whether to use global all_different or not\n"
       << "  -l N Set the report level to 0<=N<=4 (default 0)\n"
       << "  -j N Set the relaxation mode for literals:\n"
       << "       0=none, 1=level, 2=complete (default 2)\n"
       << "       Where 1=level means that a literal is relaxed only if "
       << "it moves\n"
       << "       a literal to an earlier level.\n"
       << "  -J   Toggle whether to relax the cause node of a conflicting"
       << " constraint (default no)\n"
       << "  -m   Toggle whether to combine general constraints into a new "
       << "constraint.\n"
       << "       Attempt to avoid explanation clauses (default yes)\n"
       << "  -c N  Will set the maximum size of conflict clause which is "
       << "still guaranteed\n"
       << "        to be inserted\n"
       << "  -o opportunistic_threshold\n"
       << "     The minimum number of decisions to be undone below which "
       << "opportunistic\n"
       << "     back-jumping is not performed.\n"
       << "  -b N  Maximum backtracks allowed\n"
       << "  -r N>0  Number of backtracks performed before the first "
       << "restart takes place\n"
       << "  -r 0    Disable restarts\n"
       << "  -e N    Conflicts per constraint before boosting its effort\n"
       << "  -f N    Upon backtrack multiply all costs by (N-1)/N\n"
       << "  -i FLOAT By how much variables in conflicts have higher costs\n"
       << "           than initial cost\n"
       << "  -k FLOAT In decision prefer latest conflict variables by this "
       << "much\n"
       << "  -C N    Clauses used in the last N conflicts are not erased "
       << "during\n"
       << "         old clause erasure\n"
       << "  -E N   Perform clause erasure every N conflicts\n";
}

} // namespace qarn

// ---------------------------------------------------------------------------
// per_format_flags

const per_format_flags::format_entry per_format_flags::FORMATS[4] = {
    {XCSP, "xcsp", true},
    {C_LIKE, "c", true},
    {FZN, "fzn", false},
    {OPB, "opb", true},
};

namespace {

// "a, b, or c": the formats' names, only those in the usage text if asked.
std::string format_names(bool usage_only) {
    std::vector<const char*> names;
    for (const per_format_flags::format_entry& f : per_format_flags::FORMATS)
        if (f.in_usage || !usage_only)
            names.push_back(f.name);
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            list += i + 1 == names.size() ? ", or " : ", ";
        list += names[i];
    }
    return list;
}

} // namespace

const char* per_format_flags::name_of(std::uint32_t format) {
    for (const format_entry& f : FORMATS)
        if (f.format == format)
            return f.name;
    return "unknown";
}

std::string per_format_flags::legal_args() const {
    return qarn::qarn_flags::legal_args() + "F:";
}

bool per_format_flags::parse_option(char letter) {
    if (qarn::qarn_flags::parse_option(letter))
        return true;
    if (letter != 'F')
        return false;
    for (const format_entry& f : FORMATS) {
        if (strcasecmp(optarg, f.name) == 0) {
            m_format = f.format;
            return true;
        }
    }
    std::cerr << "Unknown input format (i.e. -F) '" << optarg << "'. "
              << "Must be one of " << format_names(false) << "\n";
    return false;
}

void per_format_flags::usage_short(std::ostream& os) const {
    qarn::qarn_flags::usage_short(os);
    os << " [-F formal]";
}

void per_format_flags::usage_long(std::ostream& os) const {
    qarn::qarn_flags::usage_long(os);
    os << "  -F T   "
       << "The input file format (" << format_names(true) << ") [default: " << name_of(XCSP)
       << "]\n";
}
