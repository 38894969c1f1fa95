// The interface through which the XCSP 2.1 reader hands an instance to its
// client, in document order: sections framed by begin and end calls, named
// objects with the ids the reader's symbol table gives them (numbered per
// type from 0 in document order).
#pragma once

#include <string>

#include "impl/model/expression_tree.h"

namespace xcsp {

// The kinds of named objects; UNDEFINED as an expected type means any.
enum CSPDefinitionType {
    RelationType = 0,
    PredicateType = 1,
    GlobalConstraintType = 2,
    DomainType = 3,
    VariableType = 4,
    ConstraintType = 5,
    UndefinedType = 6,
};

// The semantics of a relation's tuples.
enum RelType { REL_CONFLICT = 0, REL_SUPPORT = 1, REL_SOFT = 2 };

class CSPParserCallback {
public:
    virtual ~CSPParserCallback() = default;

    virtual void beginInstance(const std::string& name) = 0;

    virtual void beginDomainsSection(int nbDomains) = 0;
    virtual void beginDomain(const std::string& name, int id, int nbValues) = 0;
    virtual void addDomainValue(int value) = 0;
    virtual void addDomainValue(int first, int last) = 0;
    virtual void endDomain() = 0;
    virtual void endDomainsSection() = 0;

    virtual void beginVariablesSection(int nbVariables) = 0;
    virtual void addVariable(const std::string& name, int id, const std::string& domain,
                             int domainId) = 0;
    virtual void endVariablesSection() = 0;

    virtual void beginRelationsSection(int nbRelations) = 0;
    virtual void beginRelation(const std::string& name, int id, int arity, int nbTuples,
                               RelType semantics) = 0;
    // `tuple` holds arity values and is valid only during the call.
    virtual void addRelationTuple(int arity, const int* tuple) = 0;
    virtual void addRelationTuple(int arity, const int* tuple, int cost) = 0;
    virtual void endRelation() = 0;
    virtual void endRelationsSection() = 0;

    virtual void beginPredicatesSection(int nbPredicates) = 0;
    virtual void beginPredicate(const std::string& name, int id) = 0;
    virtual void addFormalParameter(int position, const std::string& name,
                                    const std::string& type) = 0;
    // The callee takes ownership of the tree.
    virtual void predicateExpression(AST* tree) = 0;
    virtual void predicateExpression(const std::string& text) = 0;
    virtual void endPredicate() = 0;
    virtual void endPredicatesSection() = 0;

    virtual void beginConstraintsSection(int nbConstraints) = 0;
    // The scope (ASTVar nodes) stays owned by the reader.
    virtual void beginConstraint(const std::string& name, int id, int arity,
                                 const std::string& reference, CSPDefinitionType type, int refId,
                                 const ASTList& scope) = 0;
    // The effective parameters, or the scope when the constraint has none.
    virtual void constraintParameters(const ASTList& args) = 0;
    virtual void endConstraint() = 0;
    virtual void endConstraintsSection() = 0;

    virtual void endInstance() = 0;
};

} // namespace xcsp
