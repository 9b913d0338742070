#include "slurm_job.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace kurvo::farm {
namespace {

std::string header(const std::string& jobName, const std::string& about, const std::string& output,
                   const SlurmOptions& options) {
  std::string s = "#!/bin/bash\n";
  s += "# " + about + "\n";
  s += "#SBATCH --job-name=" + jobName + "\n";
  s += "#SBATCH --output=" + output + "\n";
  s += "#SBATCH --cpus-per-task=" + std::to_string(options.cpusPerTask) + "\n";
  if (!options.partition.empty()) s += "#SBATCH --partition=" + options.partition + "\n";
  if (!options.time.empty()) s += "#SBATCH --time=" + options.time + "\n";
  return s;
}

std::string commandLine(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& w : words) {
    if (!line.empty()) line += ' ';
    // The shard word keeps its "/N": "@TASK@/4" becomes "${SLURM_ARRAY_TASK_ID}/4".
    if (w.rfind(kTaskWord, 0) == 0)
      line += "\"${SLURM_ARRAY_TASK_ID}\"" + shellQuoted(w.substr(std::strlen(kTaskWord)));
    else if (w == kThreadsWord)
      line += "\"${SLURM_CPUS_PER_TASK:-1}\"";
    else
      line += shellQuoted(w);
  }
  return line;
}

}  // namespace

std::string shellQuoted(const std::string& word) {
  if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                              "@%+=:,./_-") == std::string::npos)
    return word;
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string arrayScript(const std::string& jobName, const std::string& about, long long tasks,
                        const std::vector<std::string>& command, const std::vector<std::vector<std::string>>& perTask,
                        const std::filesystem::path& logs, const SlurmOptions& options) {
  std::string s = header(jobName, about, (logs / "task-%A_%a.out").string(), options);
  s += "#SBATCH --array=1-" + std::to_string(tasks) + "\n";
  // A task lost with its node runs again; its part appears only when complete.
  s += "#SBATCH --requeue\n";
  s += "set -euo pipefail\n";
  if (perTask.empty()) return s + "exec " + commandLine(command) + "\n";
  s += "case \"${SLURM_ARRAY_TASK_ID}\" in\n";
  for (size_t k = 0; k < perTask.size(); ++k)
    s += "  " + std::to_string(k + 1) + ") exec " + commandLine(perTask[k]) + " ;;\n";
  s += "  *) echo \"kurvo farm: no task ${SLURM_ARRAY_TASK_ID} in this batch\" >&2; exit 1 ;;\nesac\n";
  return s;
}

std::string mergeScript(const std::string& jobName, const std::string& about, const std::vector<std::string>& command,
                        const std::filesystem::path& logs, const SlurmOptions& options) {
  std::string s = header(jobName, about, (logs / "merge-%j.out").string(), options);
  s += "set -euo pipefail\n";
  return s + "exec " + commandLine(command) + "\n";
}

kurvo::media::Result<std::string> submit(const std::filesystem::path& script, const std::vector<std::string>& extra) {
  std::vector<std::string> words{"sbatch", "--parsable"};
  words.insert(words.end(), extra.begin(), extra.end());
  words.push_back(script.string());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) return kurvo::media::Status::failure(std::string("sbatch: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "sbatch", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return kurvo::media::Status::failure(std::string("cannot run sbatch (is Slurm installed here?): ") +
                                         std::strerror(spawned));
  }
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return kurvo::media::Status::failure("sbatch refused " + script.string() + " (its message is above)");
  // --parsable prints "ID" or "ID;CLUSTER".
  const std::string id = text.substr(0, text.find_first_of(";\n"));
  if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos)
    return kurvo::media::Status::failure("sbatch answered \"" + text + "\" for " + script.string() +
                                         ", not a job id");
  return id;
}

}  // namespace kurvo::farm
