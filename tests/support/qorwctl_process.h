#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "files/temp_dir.h"

// The real qorwctl in a folder of the test's, stdout and stderr kept in files there. env adds
// to (or, with an empty value, removes from) the test's own environment, whose QORW_COM<n>
// variables are left out; the reset pauses are shortened unless env says otherwise.
// Wait has a deadline: a run that does not end by then is killed and counts as a failure.
class QorwctlProcess {
public:
    QorwctlProcess(const TempDir& dir, std::vector<std::string> args,
                   std::map<std::string, std::string> env = {})
        : outPath_(dir.File(".out")), errPath_(dir.File(".err")) {
        // Everything the child needs is made before the fork: the test runs threads.
        static const std::string program = QOR_BINARY_DIR "/qorwctl";
        args.insert(args.begin(), program);
        env.emplace("QORWCTL_PAUSE_SCALE", "0");
        std::vector<std::string> envText;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            std::string name = entry.substr(0, entry.find('='));
            if (!env.count(name) && name.rfind("QORW_COM", 0) != 0) envText.push_back(entry);
        }
        for (auto& [name, value] : env) {
            if (!value.empty()) envText.push_back(name + "=" + value);
        }
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        for (auto& e : envText)
            envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (::chdir(dir.Path().c_str()) != 0) ::_exit(127);
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
    }
    ~QorwctlProcess() { Wait(std::chrono::seconds(0)); }
    QorwctlProcess(const QorwctlProcess&) = delete;
    QorwctlProcess& operator=(const QorwctlProcess&) = delete;

    // The exit status; -1 when it was killed at the deadline or ended by a signal.
    int Wait(std::chrono::steady_clock::duration limit = std::chrono::seconds(20)) {
        if (pid_ <= 0) return status_;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        pid_t done;
        while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (done == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            status = -1;
        }
        pid_ = -1;
        status_ = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }
    pid_t Pid() const { return pid_; }
    std::string Out() const { return ReadFileBytes(outPath_); }
    std::string Err() const { return ReadFileBytes(errPath_); }

private:
    std::string outPath_, errPath_;
    pid_t pid_ = -1;
    int status_ = -1;
};
