#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sentrel::test {

// A child process started with extra environment variables, for tests that
// run the real program.
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args,
            const std::map<std::string, std::string>& env);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void signal(int signal);
    // The exit status, or nothing when it has not ended in time (or died of a signal: -signal).
    std::optional<int> wait(std::chrono::milliseconds timeout);
    bool running();

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Polls until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

} // namespace sentrel::test
