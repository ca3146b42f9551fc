// The fixture of the tests that run the adapter link: a temporary directory that holds the
// trace file and the UUCP lock directory; the trace goes back to its default afterwards.
// Fixtures that set up more call LinkTest::SetUp() first.
#pragma once

#include "core/Trace.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTraceFilePath(m_trace);
        ASSERT_EQ(::mkdir(m_locks.c_str(), 0755), 0);
    }
    void TearDown() override { SetTraceFilePath("Ringvale.dbg"); }

    TempDir m_dir;
    std::string m_trace = m_dir.File("Ringvale.dbg");
    std::string m_locks = m_dir.File("lock");
};
