// The solver side of the XCSP 2.1 reader: receives the instance through the
// callback interface and builds it into a qarn::solver through the model
// builder. Domains, variables, relations and predicates are kept while the
// document is read; each constraint is built as soon as its parameters
// arrive, operator constraints of predicate expressions at the end of the
// constraints section. Announced counts are checked against the elements
// that follow and never drive an allocation.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frontends/xcsp/xml/csp_parser_callback.h"
#include "impl/engine/solver.h"
#include "impl/model/ast_builder.h"
#include "impl/propagators/table_propagator.h"
#include "impl/propagators/tuple_set.h"
#include "impl/sets/model.h"

class xcsp_callbacks : public xcsp::CSPParserCallback {
public:
    typedef qarn::table_propagator_base::memory_manager memory_manager;

    // One relation: its tuples, analysed once when the relation closes, then
    // posted for every constraint that refers to it. Binary relations that
    // mean x != y (kind 2), x = y (kind 3) or imply x != y (kind 1) are
    // told to the model builder; the others are tables (supports) or
    // clauses over compressed boxes (conflicts).
    struct relation_info_type {
        enum kind_type : unsigned { GENERAL = 0, IMPLIES_DIFFERENT = 1, DIFFERENT = 2, EQUAL = 3 };

        std::string m_name;
        std::uint32_t m_arity = 0;
        bool m_conflicts = false;
        std::vector<std::vector<int>> m_tuples; // sorted, no repeats after build
        qarn::tuple_set m_boxes;                // conflicts: the forbidden boxes
        std::unique_ptr<qarn::constraint_propagator> m_prototype; // supports: the table
        std::uint32_t m_kind = GENERAL;
        // Per column, the values in the column: a special form of a
        // conflict relation is used only for parameters within them.
        std::vector<qarn::iset> m_precondition_domains;
        // Per column, the sets instantiation narrows the parameters to: the
        // column values of a support relation posted as x != y or x = y.
        std::vector<qarn::iset> m_constraining_domains;

        void build(memory_manager& tables);
        void instantiate(xcsp_callbacks& callbacks, const std::vector<unsigned>& vars) const;

        bool tuples_equivalent_with_diff() const;
        bool tuples_equivalent_with_equality() const;
        bool tuples_imply_diff() const;
        bool tuples_are_complementary_equal_pairs() const;
        bool tuples_have_all_equal_pairs() const;
        bool tuples_are_all_different() const;
        bool tuples_all_equal_pairs() const; // every tuple is (v, v)

        void collect_tuple_domains(std::vector<qarn::iset>& out) const;
        void collect_tuple_domain(unsigned column, qarn::iset& out) const;

        bool within_precondition_domains(const qarn::solver& s,
                                         const std::vector<unsigned>& vars) const;
        void constrain_by_domains(qarn::AST_builder& builder, const std::vector<unsigned>& vars,
                                  const std::vector<qarn::iset>& sets) const;
        void instantiate_conflict_set_relation(qarn::solver& s,
                                               const std::vector<unsigned>& vars) const;
        void instantiate_support_set_relation(qarn::solver& s,
                                              const std::vector<unsigned>& vars) const;

    private:
        // Whether the tuples are binary pairs (at least one).
        bool binary() const { return !m_tuples.empty() && m_tuples.front().size() == 2; }
    };

    struct predicate_info_type {
        std::unique_ptr<xcsp::AST> m_expression; // null until it arrives
        std::string m_name;
        int m_formal_count = 0;
    };

    // detect_all_different: look for all-different cliques at the end.
    xcsp_callbacks(qarn::solver& s, memory_manager& tables, bool detect_all_different);
    ~xcsp_callbacks() override;

    void beginInstance(const std::string& name) override;
    void beginDomainsSection(int nbDomains) override;
    void beginDomain(const std::string& name, int id, int nbValues) override;
    void addDomainValue(int value) override;
    void addDomainValue(int first, int last) override;
    void endDomain() override;
    void endDomainsSection() override;
    void beginVariablesSection(int nbVariables) override;
    void addVariable(const std::string& name, int id, const std::string& domain,
                     int domainId) override;
    void endVariablesSection() override;
    void beginRelationsSection(int nbRelations) override;
    void beginRelation(const std::string& name, int id, int arity, int nbTuples,
                       xcsp::RelType semantics) override;
    void addRelationTuple(int arity, const int* tuple) override;
    void addRelationTuple(int arity, const int* tuple, int cost) override;
    void endRelation() override;
    void endRelationsSection() override;
    void beginPredicatesSection(int nbPredicates) override;
    void beginPredicate(const std::string& name, int id) override;
    void addFormalParameter(int position, const std::string& name,
                            const std::string& type) override;
    void predicateExpression(xcsp::AST* tree) override;
    void predicateExpression(const std::string& text) override;
    void endPredicate() override;
    void endPredicatesSection() override;
    void beginConstraintsSection(int nbConstraints) override;
    void beginConstraint(const std::string& name, int id, int arity, const std::string& reference,
                         xcsp::CSPDefinitionType type, int refId,
                         const xcsp::ASTList& scope) override;
    void constraintParameters(const xcsp::ASTList& args) override;
    void endConstraint() override;
    void endConstraintsSection() override;
    void endInstance() override;

    qarn::AST_builder& builder() { return m_builder; }

private:
    typedef std::pair<std::string, qarn::iset> named_set;

    // The slot `index` of a section of `announced` entries, made on first use.
    named_set& section_slot(std::vector<named_set>& slots, int index, int announced,
                            const char* what);
    // The parameters as solver variables, nested lists flattened.
    void parameters_to_variables(const xcsp::AST& list, std::vector<unsigned>& vars);
    void instantiate_weighted_sum_or_objective(const xcsp::ASTList& args);
    bool maybe_set_objective(const std::vector<int>& coefficients,
                             const std::vector<unsigned>& vars);
    [[noreturn]] void constraint_error(const std::string& message) const;

    qarn::solver& m_solver;
    qarn::AST_builder m_builder;
    std::string m_instance_name;
    int m_current_domain = -1;
    std::vector<named_set> m_domains;
    std::vector<named_set> m_variables;
    int m_current_relation = -1;
    std::string m_constraint_name;
    std::vector<relation_info_type> m_relations;
    std::vector<predicate_info_type> m_predicates;
    int m_reference_id = -1;
    int m_reference_type = 0;
    memory_manager& m_memory_manager;
    // The counts the sections announced.
    int m_announced_domains = 0;
    int m_announced_variables = 0;
    int m_announced_relations = 0;
    // The entries declared in the current section of each kind.
    int m_declared_domains = 0;
    int m_declared_variables = 0;
    int m_declared_relations = 0;
};
