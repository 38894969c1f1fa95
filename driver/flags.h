// Command-line options. qarn::flags owns the getopt loop, the help switch
// and the frame of the usage text; qarn::qarn_flags adds the solver options
// with their defaults, the check that they fit together and apply(), which
// copies them into a new solver; per_format_flags adds the input format.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace qarn {

class solver;

class flags {
public:
    virtual ~flags() = default;

    virtual void apply(solver&) const {}
    // The option string for getopt.
    virtual std::string legal_args() const;
    // False when the letter is not an option of this level.
    virtual bool parse_option(char letter);
    virtual void usage_short(std::ostream& os) const;
    virtual void usage_long(std::ostream& os) const;
    // Throws std::runtime_error when the options contradict each other.
    virtual void validate_consistent() const {}

    // Scans the command line; false after a bad option. Afterwards optind
    // indexes the first file name.
    bool parse(int argc, char** argv);
    void usage(std::ostream& os, const char* program) const;

    bool m_help = false;
};

class qarn_flags : public flags {
public:
    // Copies the options into a new solver and re-seeds the random source
    // ("c Seed is N"). Options left at their "not given" value keep the
    // solver's own defaults.
    void apply(solver& s) const override;
    std::string legal_args() const override;
    bool parse_option(char letter) override;
    void usage_short(std::ostream& os) const override;
    void usage_long(std::ostream& os) const override;
    void validate_consistent() const override;

    // An unsigned option left out where 0 is a value (-c).
    static constexpr std::uint32_t NOT_GIVEN = 0xFFFFFFFFu;

    std::int32_t m_report_level = 0;                      // -l
    std::uint32_t m_seed = 0;                             // -s (0: drawn from the system)
    std::uint32_t m_opportunistic_threshold = 0;          // -o (0: not given)
    std::uint32_t m_max_conflict_clause = NOT_GIVEN;      // -c
    std::uint32_t m_cost_lowering_factor = 0;             // -f (0: not given)
    double m_analysis_cost_factor = -1.0;                 // -i (not above 0: not given)
    double m_conflict_cost_factor = -1.0;                 // -k (not above 0: not given)
    bool m_all_solutions = false;                         // -d
    bool m_quiet = false;                                 // -D
    std::uint32_t m_backtrack_limit = 1000000000u;        // -b (2^31 and up: ignored)
    std::int32_t m_restart_threshold = -1;                // -r (negative: not given)
    std::int32_t m_all_different = -1;                    // -a (non-zero: detection on)
    std::int32_t m_conflicts_before_boosting_effort = -1; // -e (negative: not given)
    std::int32_t m_keep_constraints_from_conflicts = -1;  // -C (not above 0: not given)
    std::int32_t m_erase_after_backtracks = -1;           // -E (not above 0: not given)
    bool m_validate_unsat = false;                        // -V
    bool m_produce_proof = false;                         // -p
    std::int32_t m_intersect_with_ground = -1;            // -G (negative: not given)
    std::uint32_t m_relaxation_mode = 2;                  // -j
    bool m_relax_cause_node = false;                      // -J
    bool m_combine_constraints = true;                    // -m
    bool m_check_domain_ages = true;                      // -g
    bool m_augment_explanations = true;                   // -A
};

} // namespace qarn

// The solver options and the input format of the run.
class per_format_flags : public qarn::qarn_flags {
public:
    enum format_type : std::uint32_t { XCSP = 0, OPB = 1, FZN = 2, C_LIKE = 3 };

    // Every format by its -F name, in the order the messages list them; the
    // usage text leaves out those not in_usage.
    struct format_entry {
        format_type format;
        const char* name;
        bool in_usage;
    };
    static const format_entry FORMATS[4];
    // The -F name of a format_type value.
    static const char* name_of(std::uint32_t format);

    std::string legal_args() const override;
    bool parse_option(char letter) override;
    void usage_short(std::ostream& os) const override;
    void usage_long(std::ostream& os) const override;

    std::uint32_t m_format = XCSP; // -F
};
