// Running the real kurvo tool from a test: in a folder, under an address-space
// cap and a generous time limit (limits on hostile input, not performance
// targets), with its exit status, standard error and standard output.
#ifndef KURVO_TESTS_TOOL_TOOL_RUN_H
#define KURVO_TESTS_TOOL_TOOL_RUN_H

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "sanitized_build.h"
#include "temp_dir.h"

inline constexpr bool kToolSanitized = kSanitizedBuild;

struct ToolRun {
  int status = -1;
  std::string err, out;
};

inline std::string readWhole(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// `kurvo COMMAND [--quiet] --plugins PLUGINS ARGS` in `dir`, killed after
// `seconds`, under a cap of `capKiB` of address space (none under
// AddressSanitizer, which reserves far more).
inline ToolRun runKurvo(const TempDir& dir, const std::string& command, const std::string& args,
                        bool quiet = true, long capKiB = 2000000, int seconds = 120,
                        const std::string& plugins = KURVO_PLUGIN_DIR) {
  const std::string cap = kToolSanitized ? "" : "ulimit -v " + std::to_string(capKiB) + "; ";
  const std::filesystem::path base = dir.path().parent_path() / dir.path().filename();
  const std::string err = base.string() + ".stderr", out = base.string() + ".stdout";
  const std::string line = cap + "cd '" + dir.path().string() + "' && timeout -s KILL " + std::to_string(seconds) +
                           " " + KURVO_TOOL + " " + command + (quiet ? " --quiet" : "") + " --plugins '" + plugins +
                           "' " + args + " 2> '" + err + "' > '" + out + "'";
  const int raw = std::system(line.c_str());
  ToolRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  run.err = readWhole(err);
  run.out = readWhole(out);
  std::filesystem::remove(err);
  std::filesystem::remove(out);
  return run;
}

// One line, status 1, every part in the message.
inline void expectOneLineRefusal(const ToolRun& run, std::initializer_list<std::string> parts, const std::string& what) {
  EXPECT_EQ(run.status, 1) << what << ": " << run.err;
  ASSERT_FALSE(run.err.empty()) << what;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << what << ": one line: " << run.err;
  for (const std::string& p : parts)
    EXPECT_NE(run.err.find(p), std::string::npos) << what << ": lacks \"" << p << "\": " << run.err;
}

#endif
