#pragma once
// The shared fakes (fakes/Fakes.h) under the names the tests use. In a test program a
// fake used against its script fails the running test (TestMain.cpp installs the hook):
// a question with no queued answer fails it and is answered No, as does a prompt or a
// file dialog with no queued answer, or a message other than the one expected.
#include "fakes/Fakes.h"

namespace rv::test {

using FakeDialogs = fakes::ScriptedDialogs;
using FixedClock = fakes::FixedClock;
using FakePaths = fakes::FolderPaths;
using FakeDesktop = fakes::RecordingDesktop;
using RecordingProgress = fakes::RecordingProgress;
using FakeInstance = fakes::FixedInstance;

} // namespace rv::test
