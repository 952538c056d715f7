#pragma once
// The shared fakes (fakes/Fakes.h) under the names the tests use. In a test program a
// fake used against its script fails the running test (TestMain.cpp installs the hook):
// a question with no queued answer fails it and is answered No, as does a prompt or a
// file dialog with no queued answer, or a message other than the one expected.
#include "fakes/Fakes.h"
#include <functional>
#include <utility>

namespace rv::test {

using FakeDialogs = fakes::ScriptedDialogs;
using FixedClock = fakes::FixedClock;
using FakePaths = fakes::FolderPaths;
using FakeDesktop = fakes::RecordingDesktop;
using RecordingProgress = fakes::RecordingProgress;
using FakeInstance = fakes::FixedInstance;

// Progress that records, and runs `atStep` once, at the first step reported of the work
// whose label contains `during`: something that happens in the middle of that work (a
// server going away), after it started and before it ended.
class HookedProgress : public RecordingProgress {
public:
    QString during;
    std::function<void()> atStep;
    bool step(qint64 done) override {
        if (atStep && !labels.isEmpty() && labels.back().contains(during))
            std::exchange(atStep, nullptr)();
        return RecordingProgress::step(done);
    }
};

} // namespace rv::test
