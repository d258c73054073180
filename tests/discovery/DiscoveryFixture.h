// DiscoveryFixture.h - a simulated root in the environment and a captured message log for each case.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "LogCapture.h"
#include "SimulatedRoot.h"

// The plug-in resolves its system paths under root while a case runs; its
// messages go to log.
class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override { root.exportToEnvironment(); }
    void TearDown() override { unsetenv("MODEMDIAG_SYSROOT"); }

    modemsim::SimulatedRoot root;
    testsupport::LogCapture log;
};
