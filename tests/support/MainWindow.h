#pragma once
// A fixture that starts the real main window on a fresh data folder.
#include "app/frmRockvane.h"
#include "store/Session.h"
#include "tests/support/DataFolder.h"
#include <memory>

namespace rv::test {

class MainWindowTest : public DataFolderTest {
protected:
    void TearDown() override {
        window.reset();
        DataFolderTest::TearDown();
    }
    // Builds the window and runs its start-up; answers what Form_Load answered.
    bool start() {
        window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
        return window->Form_Load();
    }
    Session& s() { return window->session(); }

    FakeInstance instance;
    std::unique_ptr<frmRockvane> window;
};

} // namespace rv::test
