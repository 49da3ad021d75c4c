#include <iostream>
#include <string>
#include <vector>

#include "DissectaCommand.h"

int main(int argc, char** argv) {
    return DissectaCommand::Run(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                std::cerr);
}
