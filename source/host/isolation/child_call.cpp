#include "child_call.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <new>
#include <sstream>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kurvo::isolation {

namespace {

// What the child sends back: one tag byte, the length of the bytes (eight
// bytes, this machine's order), then the bytes.
constexpr char kDone = 'D';       // the work's bytes
constexpr char kFailed = 'F';     // an exception's text
constexpr char kNoMemory = 'M';   // the memory allowed ran out

std::string memory_clause(const ChildLimits& limits) {
  return limits.worker + " needed more than the " + std::to_string(limits.memory_bytes >> 20) +
         " MB of memory a reader may use (a count in the file is too large, or the file is damaged)";
}

}  // namespace

#ifdef _WIN32

media::Result<std::string> call_in_child(const std::function<std::string()>& work, const ChildLimits& limits) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    return media::Status::failure(memory_clause(limits));
  } catch (const std::exception& e) {
    return media::Status::failure(e.what());
  }
}

#else

namespace {

// Data memory (heap and private mappings) the process holds now, in bytes;
// 0 when it cannot be told.
uint64_t data_memory_in_use() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmData:", 0) == 0) {
      std::istringstream fields(line.substr(7));
      uint64_t kilobytes = 0;
      fields >> kilobytes;
      return kilobytes << 10;
    }
  return 0;
}

// Sets a limit no higher than the one the process already has (an
// unprivileged process cannot raise its hard limit, and a failed call would
// leave no limit at all); the hard limit goes `grace` above the soft one.
void lower_limit(int resource, rlim_t soft, rlim_t grace) {
  rlimit now{};
  if (::getrlimit(resource, &now) != 0) return;
  rlimit wanted{soft, soft + grace};
  if (now.rlim_max != RLIM_INFINITY) {
    wanted.rlim_max = std::min(wanted.rlim_max, now.rlim_max);
    wanted.rlim_cur = std::min(wanted.rlim_cur, now.rlim_max);
  }
  ::setrlimit(resource, &wanted);
}

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

[[noreturn]] void run_child(int fd, const std::function<std::string()>& work, const ChildLimits& limits) {
  // The parent's handlers (removing its temporaries on Ctrl+C, a fuzzer's or
  // debugger's crash reports) are not the child's: a fault here ends the
  // child plainly and the parent reports it.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGXCPU, SIGPIPE})
    ::signal(s, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);  // nothing the caller blocked stays blocked
  // Data memory counts heap and private writable mappings alike, so the
  // limit holds for every allocator (a sanitizer's reserved but untouched
  // shadow is not counted); the child starts with what the parent holds.
  lower_limit(RLIMIT_DATA, data_memory_in_use() + limits.memory_bytes, 0);
  // SIGXCPU at the limit, SIGKILL a second later where that is caught or
  // blocked (as under some sanitizers).
  lower_limit(RLIMIT_CPU, limits.cpu_seconds, 1);
  lower_limit(RLIMIT_CORE, 0, 0);  // a crash in a library leaves no core file of the whole tool

  char tag = kDone;
  std::string bytes;
  try {
    bytes = work();
  } catch (const std::bad_alloc&) {
    tag = kNoMemory;
    bytes.clear();
  } catch (const std::exception& e) {
    tag = kFailed;
    bytes = e.what();
  } catch (...) {
    tag = kFailed;
    bytes = "an unknown error";
  }
  // The length first, so that the caller takes the answer into memory once.
  const uint64_t length = bytes.size();
  const bool sent = write_all(fd, &tag, 1) && write_all(fd, reinterpret_cast<const char*>(&length), sizeof length) &&
                    write_all(fd, bytes.data(), bytes.size());
  ::_exit(sent ? 0 : 3);
}

// Processor time the process has used so far, in clock ticks; -1 when it
// cannot be told (then it never counts as progress).
long cpu_ticks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  // The command name (field 2) may hold spaces: count from its closing bracket.
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return utime + stime;
}

std::string signal_name(int signal_number) {
  const char* name = ::strsignal(signal_number);
  return name ? name : "signal " + std::to_string(signal_number);
}

}  // namespace

media::Result<std::string> call_in_child(const std::function<std::string()>& work, const ChildLimits& limits) {
  int fds[2];
  // Close-on-exec: a process the child starts (a sanitizer's symbolizer)
  // must not hold the pipe open after the child has ended.
  if (::pipe2(fds, O_CLOEXEC) != 0)
    return media::Status::failure(std::string("cannot start a reader process: ") + std::strerror(errno));
  // What the caller has buffered goes out once, before the child could hold a copy.
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    ::close(fds[0]);
    ::close(fds[1]);
    return media::Status::failure(std::string("cannot start a reader process: ") + std::strerror(error));
  }
  if (pid == 0) {
    ::close(fds[0]);
    run_child(fds[1], work, limits);
  }
  ::close(fds[1]);

  // Read while the child writes: its answer may be far larger than a pipe
  // holds. A child that neither answers nor uses the processor for
  // `stall_seconds` is stuck (a lock taken by a thread the fork left behind,
  // a read that never returns) and is ended.
  constexpr size_t kHeader = 1 + sizeof(uint64_t);
  std::string header, answer;
  bool reserved = false;
  char buffer[1 << 16];
  bool stalled = false;
  long last_cpu = -1;
  unsigned idle_seconds = 0;
  for (;;) {
    pollfd ready{fds[0], POLLIN, 0};
    const int polled = ::poll(&ready, 1, 1000);
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) {
      const long cpu = cpu_ticks(pid);
      idle_seconds = cpu == last_cpu ? idle_seconds + 1 : 0;
      last_cpu = cpu;
      if (idle_seconds >= limits.stall_seconds) {
        ::kill(pid, SIGKILL);
        stalled = true;
        break;
      }
      continue;
    }
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    size_t used = 0;
    while (header.size() < kHeader && used < static_cast<size_t>(n)) header.push_back(buffer[used++]);
    if (header.size() == kHeader && !reserved) {
      uint64_t length = 0;
      std::memcpy(&length, header.data() + 1, sizeof length);
      // A damaged length is not trusted beyond what was allowed to be made.
      answer.reserve(static_cast<size_t>(std::min<uint64_t>(length, limits.memory_bytes)));
      reserved = true;
    }
    answer.append(buffer + used, static_cast<size_t>(n) - used);
  }
  ::close(fds[0]);
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  const long cpu_used = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec;

  if (stalled)
    return media::Status::failure(limits.worker + " stopped responding on it (" + std::to_string(limits.stall_seconds) +
                                  " s without progress) and was ended");
  uint64_t length = 0;
  if (header.size() == kHeader) std::memcpy(&length, header.data() + 1, sizeof length);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && header.size() == kHeader && length == answer.size()) {
    const char tag = header[0];
    if (tag == kDone) return answer;
    if (tag == kNoMemory) return media::Status::failure(memory_clause(limits));
    return media::Status::failure(answer);
  }
  if (WIFSIGNALED(status)) {
    const int s = WTERMSIG(status);
    if (s == SIGXCPU || (s == SIGKILL && cpu_used >= static_cast<long>(limits.cpu_seconds)))
      return media::Status::failure(limits.worker + " was stopped after " + std::to_string(limits.cpu_seconds) +
                                    " s of processor time (the file is damaged, or too large for the time a reader may take)");
    return media::Status::failure(limits.worker + " crashed on it (" + signal_name(s) + "); the file is damaged or in a form it cannot read");
  }
  // A sanitizer's report ends the child with a status of its own; so does
  // an allocator that gives up instead of failing the allocation.
  return media::Status::failure(limits.worker + " stopped on it with exit status " +
                                std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                                "; the file is damaged or in a form it cannot read");
}

#endif

}  // namespace kurvo::isolation
