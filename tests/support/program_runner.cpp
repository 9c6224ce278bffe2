#include "support/program_runner.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testing_support {

ScratchDir::ScratchDir() {
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("skarvel-test-" + std::to_string(random() % 1000000000));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch directory");
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

fs::path builtProgram() { return SKARVEL_PROGRAM_FILE; }
fs::path builtPortLibrary() { return SKARVEL_PORT_LIBRARY_FILE; }
fs::path builtWatchedRun() { return SKARVEL_WATCHED_RUN_FILE; }

fs::path installProgram(const fs::path& dir) {
    fs::create_directories(dir);
    const fs::path program = dir / builtProgram().filename();
    fs::copy_file(builtProgram(), program, fs::copy_options::overwrite_existing);
    fs::copy_file(builtPortLibrary(), dir / builtPortLibrary().filename(), fs::copy_options::overwrite_existing);
    return program;
}

} // namespace testing_support
