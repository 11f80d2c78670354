#include <iostream>
#include <string>
#include <vector>

#include "cli/Thumbnailer.h"

int main(int argc, char** argv) {
    return RunThumbnailer(std::vector<std::string>(argv + 1, argv + argc), std::cerr);
}
