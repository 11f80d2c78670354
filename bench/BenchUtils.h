#pragma once

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

// A line of /proc/self/status in MB (VmRSS now, VmHWM the peak).
inline double StatusMb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::strlen(key) + 1) / 1024.0;
    return 0;
}
