#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "support/expected_log.h"
#include "support/program_runner.h"

namespace testing_support {

// A ports file's text for the stand-in library, or builtInPorts for its own set.
using Ports = std::optional<std::string>;
inline const Ports builtInPorts = std::nullopt;

// The built program installed with the stand-in library in a scratch bin/,
// run as a separate process, and what it left behind.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;

    fs::path bin() const { return scratch / "bin"; }
    fs::path work() const { return scratch / "work"; }
    // What a run reads and writes unless told otherwise.
    fs::path config() const { return bin() / "SkarvelConfig.cfg"; }
    fs::path log() const { return bin() / "SkarvelConfig.log"; }
    // Where the stand-in records each mode it sets, and each call when tracing.
    fs::path record() const { return scratch / "record.txt"; }
    fs::path trace() const { return scratch / "trace.txt"; }
    Environment tracing() const { return {{"LUMTOR_STANDIN_TRACE", trace().string()}}; }

    // Runs the program in workingDir with the stand-in simulating `ports`
    // (none when empty), `environment` besides.
    RunResult run(const std::vector<std::string>& arguments = {}, const Ports& ports = "",
                  const Environment& environment = {});
#ifdef _WIN32
    // Runs it with exactly `commandLine`; `unseen`: as a start-up task runs.
    RunResult runTyped(const std::string& commandLine, const Ports& ports = "", bool unseen = false);
#endif
    // A run that ends as every ordinary run must: status 0, nothing said on
    // standard output or error; and the log it left.
    void runCleanly(const std::vector<std::string>& arguments = {}, const Ports& ports = "",
                    const Environment& environment = {});
    Lines runForLog(const std::vector<std::string>& arguments = {}, const Ports& ports = "",
                    const Environment& environment = {});

    // The lines of the log at `path` (see logLines); none where there is no file.
    Lines logAt(const fs::path& path) const;
    Lines logged() const { return logAt(log()); }
    // The stand-in's record and trace, a line for each mode set or call.
    Lines recorded() const;
    Lines traced() const;

    ScratchDir scratch;
    fs::path program;                      // the installed copy
    fs::path workingDir = scratch.path();  // where runs start
    std::uint64_t addressSpaceLimit = 0;   // see runProgram

private:
    Environment standIn(const Ports& ports, Environment environment) const;
};

} // namespace testing_support
