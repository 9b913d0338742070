// The Slurm side of a farm: batch scripts for a job array and the merge
// that follows it, and their submission with sbatch.
//
// Slurm does the scheduling, retries and logs; the scripts only run kurvo.
// Shards: an array of N tasks (--array=1-N), task K running `kurvo eval
// --shard K/N`, and a merge job that starts when every task has ended
// (--dependency=afterany): afterok would leave it pending for ever after one
// failed task, while the merge itself checks which parts exist and refuses,
// naming the missing ones, so its log says what to run again. Batches: an
// array of one evaluation per line of the list, no merge.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "result.h"

namespace kurvo::farm {

struct SlurmOptions {
  std::string partition;  // empty: the cluster's default
  int cpusPerTask = 1;
  std::string time;       // --time, empty: the partition's limit
};

// A word quoted for bash, whatever it holds.
std::string shellQuoted(const std::string& word);

// The array script. `command` is run by every task; a word equal to
// kTaskWord is replaced by the task's number (1 to tasks) and kThreadsWord
// by the CPUs Slurm gave the task. With `perTask` given (one command per
// task, for batches), task K runs perTask[K-1] instead.
inline constexpr const char* kTaskWord = "@TASK@";
inline constexpr const char* kThreadsWord = "@CPUS@";
std::string arrayScript(const std::string& jobName, const std::string& about, long long tasks,
                        const std::vector<std::string>& command, const std::vector<std::vector<std::string>>& perTask,
                        const std::filesystem::path& logs, const SlurmOptions& options);
// The merge script: runs `command` once, logging to logs/merge-<job>.out.
std::string mergeScript(const std::string& jobName, const std::string& about, const std::vector<std::string>& command,
                        const std::filesystem::path& logs, const SlurmOptions& options);

// Submits `script` with sbatch (extra arguments before it, e.g. a
// dependency) and answers the job id sbatch prints.
kurvo::media::Result<std::string> submit(const std::filesystem::path& script, const std::vector<std::string>& extra);

}  // namespace kurvo::farm
