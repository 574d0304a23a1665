#pragma once
// The built-in functions every engine declares, in Id order.

#include "expr/exprtypes.h"

#include <array>
#include <vector>

namespace qf::expr {

struct TBuiltinDecl {
    uint8_t Id;
    const char *Name;
    std::vector<TExprType> Params;
    TExprType Result;
};

const std::array<TBuiltinDecl, 47> &BuiltinTable();

} // namespace qf::expr
