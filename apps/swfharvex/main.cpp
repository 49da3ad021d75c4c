#include <iostream>
#include <string>
#include <vector>

#include "swfharvex/CommandLine.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return CommandLine::Run(args, std::cout, std::cerr);
}
