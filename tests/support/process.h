// A child process of a test with its standard output and error read line by line; killed
// and reaped when the test ends if it is still running.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>
extern char** environ;

namespace ddd::test {

class ChildProcess {
public:
    // extraEnvironment entries ("NAME=value") replace those of the test's environment.
    ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment = {}) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        std::vector<std::string> environment = extraEnvironment;
        for (char** entry = environ; *entry; ++entry) {
            const std::string text = *entry;
            const auto name = [](const std::string& e) { return e.substr(0, e.find('=')); };
            if (std::none_of(extraEnvironment.begin(), extraEnvironment.end(), [&](const auto& e) { return name(e) == name(text); })) environment.push_back(text);
        }
        std::vector<char*> argv, envp;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        out_ = pipeFds[0];
    }
    ~ChildProcess() {
        if (pid_ > 0 && !exited_) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
        if (out_ >= 0) ::close(out_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    const std::string& output() const { return text_; }

    // Reads output until it holds the text; false when the time ran out first.
    bool waitForOutput(const std::string& needle, double seconds = 30) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (text_.find(needle) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0 || !readSome(static_cast<int>(left))) return text_.find(needle) != std::string::npos;
        }
        return true;
    }
    // The exit code, or -1 when the process did not end in time (it is then killed).
    int waitForExit(double seconds = 30) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                while (readSome(50)) continue;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() > deadline) return -1;
            readSome(50);
        }
    }

private:
    bool readSome(int milliseconds) {
        pollfd fd{out_, POLLIN, 0};
        char buffer[4096];
        const ssize_t got = ::poll(&fd, 1, milliseconds) > 0 ? ::read(out_, buffer, sizeof buffer) : 0;
        if (got > 0) text_.append(buffer, static_cast<std::size_t>(got));
        return got > 0;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    std::string text_;
};

}  // namespace ddd::test
