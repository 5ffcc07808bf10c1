#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommands.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return kurvex::cli::RunCli(args, stdout, stderr);
}
