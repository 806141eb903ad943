#include "tests/support/finished_program.h"

#include "tests/support/spawned_program.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

FinishedProgram RunToEnd(const std::vector<std::string>& command,
                         const std::map<std::string, std::string>& environment,
                         std::chrono::milliseconds bound) {
    static int count = 0;
    const auto base = std::filesystem::temp_directory_path() /
                      ("pelmora-run-" + std::to_string(::getpid()) + "-" + std::to_string(++count));
    const auto outFile = base.string() + ".out";
    const auto errFile = base.string() + ".err";
    FinishedProgram run;
    {
        SpawnedProgram program(command, environment, outFile, errFile);
        const auto status = program.WaitForEnd(bound);
        if (status && WIFEXITED(*status)) {
            run.status = WEXITSTATUS(*status);
        }
    }
    run.out = Slurp(outFile);
    run.err = Slurp(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return run;
}

std::map<std::string, std::string> NamedLines(const std::string& out) {
    std::map<std::string, std::string> lines;
    std::istringstream text(out);
    std::string line;
    while (std::getline(text, line)) {
        const auto space = line.find(' ');
        lines[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
    }
    return lines;
}
