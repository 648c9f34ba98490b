// Reading a job configuration file into a JobConfig and its job list, and the rewrite
// that replaces plain passwords by their scrambled form. Messages about an invalid file
// go to `errors` (standard error in the program). One thread.
#ifndef NVX_RUNNER_CONFIG_READER_H_
#define NVX_RUNNER_CONFIG_READER_H_

#include <ostream>
#include <string>
#include <string_view>

#include "runner/job_config.h"

namespace nvx {

// Results of reading.
inline constexpr int kConfigValid = 0;
inline constexpr int kConfigCannotOpen = 20;  // the file or its rewrite copy
inline constexpr int kConfigInvalid = 21;

// Reads `file_name` into `config`, which the caller passes default-constructed. Rewrites
// the file when it was valid and held a plain password under a scrambling keyword.
[[nodiscard]] int ReadJobConfiguration(const std::string& file_name, JobConfig& config,
                                       std::ostream& errors);

// Reads "config.txt" in the folder of the running program file. 20 also when the
// program's path cannot be read or has no "/".
[[nodiscard]] int ReadDefaultJobConfiguration(JobConfig& config, std::ostream& errors);

// "config.txt" in the folder of `program_path`; empty when the path has no "/".
std::string DefaultConfigurationPath(std::string_view program_path);

// The reading proper, from a file's text: 0 or 21. Plain passwords under scrambling
// keywords are scrambled and rewrite_needed is set; nothing is written.
[[nodiscard]] int ParseJobConfiguration(std::string_view content, JobConfig& config,
                                        std::ostream& errors);

// Writes `file_name` anew with every scrambling keyword line replaced by the bracketed
// scrambled value of `config` (or left out when a later plain line overrode it), every
// other line copied whole, lines ended by "\n". The new
// text goes to `file_name` + ".tmp", which then replaces the file in one step. 0, or 20
// when a file cannot be read, written or renamed (the original is then untouched).
[[nodiscard]] int RewriteScrambledPasswords(const std::string& file_name, const JobConfig& config);

}  // namespace nvx

#endif  // NVX_RUNNER_CONFIG_READER_H_
