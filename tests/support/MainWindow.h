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
    // Builds the window and runs its start-up on the test's database: the file, or its
    // server database named as the command line's --server names it. Answers what
    // Form_Load answered.
    bool start() {
        window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
        if (onServer()) window->setServerArgument(location);
        const bool loaded = window->Form_Load();
        if (onServer()) {
            EXPECT_TRUE(window->session().gConnection.onServer())
                << "the window works on the test's server database";
        }
        return loaded;
    }
    Session& s() { return window->session(); }

    FakeInstance instance;
    std::unique_ptr<frmRockvane> window;
};

} // namespace rv::test
