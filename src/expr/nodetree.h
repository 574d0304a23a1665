#pragma once
// The tree of typed nodes that a text whose names are all bound runs as (nodetree.cpp).

#include "expr/parser.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace qf::expr {

struct TNode {
    bool CanFail = true;
    bool Constant = false; // of literals alone
    virtual ~TNode() = default;
    virtual bool I(TParser &, int32_t &) { return false; }
    virtual bool E(TParser &, long double &) { return false; }
    virtual bool D(TParser &, double &) { return false; }
    virtual bool B(TParser &, bool &) { return false; }
    virtual bool S(TParser &, QString &) { return false; }
};
using TNodePtr = std::unique_ptr<TNode>;

struct TParser::TFastTree {
    TNodePtr Roots[5]; // by result type, made when first asked for
    bool Tried[5] = {};
};

} // namespace qf::expr
