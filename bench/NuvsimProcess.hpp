#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace nuv::bench {

// nuvsim as a separate process, so that only the tool's side is measured; `Port()` is the
// pseudo-terminal it printed.
class NuvsimProcess {
  public:
    explicit NuvsimProcess(const std::string& program) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        char c = 0;
        while (read(out[0], &c, 1) == 1 && c != '\n') port_.push_back(c);
        close(out[0]);
    }
    ~NuvsimProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    NuvsimProcess(const NuvsimProcess&) = delete;
    NuvsimProcess& operator=(const NuvsimProcess&) = delete;

    // The nuvsim of the same build, from the folder of the benchmark's program.
    static std::string BesideBenchmark(const std::string& benchmarkFolder) {
        return (std::filesystem::path(benchmarkFolder) / ".." / "tools" / "nuvsim").string();
    }

    bool Running() const { return pid_ > 0 && !port_.empty(); }
    const std::string& Port() const { return port_; }

  private:
    pid_t pid_ = -1;
    std::string port_;
};

}  // namespace nuv::bench
