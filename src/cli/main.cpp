#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    InstallStopSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int status = RunCli(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
