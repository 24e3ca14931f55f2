// Federate processes for the scenario tests: start a federate program with its own RID, wait for
// text in its output or for its end, kill it. Each test owns its processes; none outlives it.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// One federate process running program with RTI_RID_FILE set to rid; its standard output and
// error go to one file. The destructor kills it if it still runs.
class federate_process {
public:
  federate_process(const char* program, const std::string& rid, std::vector<std::string> args) {
    static int serial = 0;
    output_ = (std::filesystem::temp_directory_path() /
               ("scenario_" + std::to_string(getpid()) + "_" + std::to_string(serial++) + ".out"))
                  .string();
    pid_ = fork();
    if (pid_ == 0) {
      FILE* out = std::fopen(output_.c_str(), "w");
      if (!out) _exit(3);
      dup2(fileno(out), 1);
      dup2(fileno(out), 2);
      setenv("RTI_RID_FILE", rid.c_str(), 1);
      // A sanitizer report ends the process with 1 by default, which a test would take for a
      // refused service; give it a status of its own.
      for (const char* sanitizer : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* options = std::getenv(sanitizer);
        setenv(sanitizer, (std::string(options ? options : "") + ":exitcode=86").c_str(), 1);
      }
      std::vector<char*> argv{const_cast<char*>(program)};
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(program, argv.data());
      _exit(4);
    }
  }
  ~federate_process() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove(output_);
  }
  federate_process(const federate_process&) = delete;
  federate_process& operator=(const federate_process&) = delete;

  // The exit status, or -1 when it ended by a signal or did not end within timeout_s.
  int wait(double timeout_s = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    while (!done_ && std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        done_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done_ ? status_ : -1;
  }
  void kill_now() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    done_ = true;
  }
  pid_t pid() const { return pid_; }
  std::string output() const {
    std::ifstream in(output_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Waits until the output holds text; false after the timeout.
  bool wait_for(const std::string& text, double timeout_s = 30) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    while (std::chrono::steady_clock::now() < end) {
      if (output().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

private:
  std::string output_;
  pid_t pid_ = -1;
  bool done_ = false;
  int status_ = -1;
};

// How often what occurs in text, and whether it does.
inline size_t count_of(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

inline bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }
