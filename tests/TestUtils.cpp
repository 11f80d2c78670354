#include "TestUtils.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "common/Error.h"

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "shelvara-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::List() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

int ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EShelvaraError& e) {
        return e.MessageId() ? e.MessageId() : -1;
    }
    return 0;
}

namespace {

// A "Vm...:  123 kB" line of /proc/self/status, in KiB.
int64_t StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stoll(line.substr(std::string(key).size()));
    return 0;
}

}  // namespace

CallCost CostOf(const std::function<void()>& call) {
    // Writing 5 to clear_refs sets the high-water mark back to the current resident size.
    std::ofstream("/proc/self/clear_refs") << "5";
    const int64_t before = StatusKiB("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    call();
    CallCost cost;
    cost.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.PeakGrowthMiB = (StatusKiB("VmHWM:") - before) / 1024;
    return cost;
}

int AsUser(uid_t uid, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        const gid_t group = 4242;
        ::umask(022);
        if (::setgroups(1, &group) != 0 || ::setresgid(group, group, group) != 0 || ::setresuid(uid, uid, uid) != 0)
            ::_exit(90);
        try {
            ::_exit(body());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "user %u: %s\n", static_cast<unsigned>(uid), e.what());
            ::_exit(91);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 92;
}

pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}
