#pragma once

#include <malloc.h>

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

// Bytes the heap holds for the program now, malloc's own overhead included.
inline double HeapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks) + static_cast<double>(info.hblkhd);
}
