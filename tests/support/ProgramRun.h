#pragma once
#include <gtest/gtest.h>

#include "app/Program.h"
#include "platform/Backend.h"
#include "platform/headless/HeadlessBackend.h"
#include "tests/support/HeadlessSession.h"
#include "tests/support/TestFiles.h"

// The whole program from start-up to its exit code, on the headless platform, in a folder of the
// test's own (empty unless the test writes pictures into it). Scripts steer it with the backend's
// onFlip and onIdle hooks.
class ProgramRunTest : public ::testing::Test {
protected:
    void SetUp() override { activeBackend = &backend; }
    void TearDown() override { activeBackend = nullptr; }

    int Run() {
        WorkingDirectory inFolder(folder.path);
        return RunProgram();
    }

    HeadlessBackend backend;
    TemporaryFolder folder;
};
