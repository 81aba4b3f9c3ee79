// tarnwick-cli: the command-line client.
#include <iostream>

#include "app/Cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return tarnwick::cli::RunCli(args, std::cout, std::cerr);
}
