// Names the instances of a parameterised test after the `name` field of their case.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace test_support {

struct CaseName {
    template <class Case>
    std::string operator()(const testing::TestParamInfo<Case>& p) const {
        return p.param.name;
    }
};

}  // namespace test_support
