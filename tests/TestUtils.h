#pragma once

#include <sys/types.h>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// A fresh folder under the system's temporary directory, removed with its content.
class TempDir final {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> List() const;

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// Bytes of a string literal (without its terminating NUL).
std::vector<uint8_t> Bytes(const std::string& s);

// The message id a call raises, 0 when it raises none, -1 for a fixed-text error.
int ErrorOf(const std::function<void()>& call);

// What a call costs: its wall time and how far the process's resident memory peaked above
// what it held when the call began (the peak is reset first, so earlier work does not count).
struct CallCost {
    double Seconds = 0;
    int64_t PeakGrowthMiB = 0;
};
CallCost CostOf(const std::function<void()>& call);
// ThreadSanitizer keeps several bytes of shadow for each byte a test touches: a memory bound
// of the program is that many times larger in such a build.
#if defined(__SANITIZE_THREAD__)
inline constexpr int64_t kShadowFactor = 5;
#else
inline constexpr int64_t kShadowFactor = 1;
#endif

// Runs body in a child process as user uid of group 4242 only (umask 022); its exit status
// (91 when it raised, 90 when the user could not be taken). Needs root.
int AsUser(uid_t uid, const std::function<int()>& body);

// The pid of a process that has ended.
pid_t DeadPid();
