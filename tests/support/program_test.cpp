#include "support/program_test.h"

namespace testing_support {

void ProgramTest::SetUp() { program = installProgram(bin()); }

Environment ProgramTest::standIn(const Ports& ports, Environment environment) const {
    const fs::path portsFile = scratch / "ports.txt";
    if (ports) writeFile(portsFile, *ports);
    environment.push_back({"LUMTOR_STANDIN_PORTS", ports ? portsFile.string() : ""});
    environment.push_back({"LUMTOR_STANDIN_RECORD", record().string()});
    return environment;
}

RunResult ProgramTest::run(const std::vector<std::string>& arguments, const Ports& ports,
                           const Environment& environment) {
    return runProgram(program, arguments, workingDir, standIn(ports, environment), addressSpaceLimit);
}

#ifdef _WIN32
RunResult ProgramTest::runTyped(const std::string& commandLine, const Ports& ports, bool unseen) {
    return runCommandLine(program, commandLine, workingDir, standIn(ports, {}), unseen);
}
#endif

void ProgramTest::runCleanly(const std::vector<std::string>& arguments, const Ports& ports,
                             const Environment& environment) {
    const RunResult result = run(arguments, ports, environment);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.standardOutput, "");
}

Lines ProgramTest::runForLog(const std::vector<std::string>& arguments, const Ports& ports,
                             const Environment& environment) {
    runCleanly(arguments, ports, environment);
    return logged();
}

Lines ProgramTest::logAt(const fs::path& path) const {
    return fs::exists(path) ? logLines(readFile(path)) : Lines{};
}

Lines ProgramTest::recorded() const { return fs::exists(record()) ? splitLines(readFile(record()), "\n") : Lines{}; }
Lines ProgramTest::traced() const { return fs::exists(trace()) ? splitLines(readFile(trace()), "\n") : Lines{}; }

} // namespace testing_support
