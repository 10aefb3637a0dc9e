#include "support/Process.h"

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace sentrel::test {

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env)
{
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        for (const auto& [name, value] : env)
            ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
}

Process::~Process()
{
    if (running()) {
        ::kill(pid_, SIGKILL);
        wait(std::chrono::seconds(5));
    }
}

void Process::signal(int signal)
{
    ::kill(pid_, signal);
}

bool Process::running()
{
    if (status_)
        return false;
    int raw = 0;
    const pid_t r = ::waitpid(pid_, &raw, WNOHANG);
    if (r == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
        return false;
    }
    return r == 0;
}

std::optional<int> Process::wait(std::chrono::milliseconds timeout)
{
    WaitUntil([this] { return !running(); }, timeout);
    return status_;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace sentrel::test
