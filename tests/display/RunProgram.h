#pragma once

// Runs a program of the build (form-run) from a test and collects what it prints.

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testrun {

/// Runs `program` with `arguments` through the shell; returns its exit code (−1 when it could
/// not run or did not exit) and fills `output` with its standard output and error.
inline int RunProgram(const std::string& program, const std::string& arguments,
                      std::string& output) {
    const std::string command = program + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char chunk[256];
    while (fgets(chunk, sizeof chunk, pipe) != nullptr) {
        output += chunk;
    }
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace testrun
