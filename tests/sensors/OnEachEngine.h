#pragma once
// A fixture of DataFolderTest's family run on each engine in turn: TEST_P(alias, ...) and
// INSTANTIATE_TEST_SUITE_P(BothEngines, alias, bothEngines(), engineName), where alias
// names OnEachEngine<Fixture>.
#include "tests/support/DataFolder.h"

namespace rv::test {

template <class Fixture>
class OnEachEngine : public Fixture, public ::testing::WithParamInterface<StoreEngine> {
protected:
    StoreEngine engine() const override { return this->GetParam(); }
};

} // namespace rv::test
