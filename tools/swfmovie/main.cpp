#include <iostream>
#include <string>
#include <vector>

#include "SwfMovieCommand.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return SwfMovieCommand::Run(args, std::cout, std::cerr);
}
