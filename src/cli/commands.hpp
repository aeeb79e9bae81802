// kelvane-cli's commands. Each takes its own arguments (after the command word) and returns the
// process exit code: 0 success, 1 the operation failed, 2 a usage error.
#pragma once

#include <string>
#include <vector>

namespace kelvane::cli {

using Arguments = std::vector<std::string>;

int commandOps(const Arguments& args);
int commandCall(const Arguments& args);
int commandCalculate(const Arguments& args);
int commandDownload(const Arguments& args);
int commandRefresh(const Arguments& args);
int commandParams(const Arguments& args);
int commandConfig(const Arguments& args);
int commandPlot(const Arguments& args);

// Exit codes shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

}  // namespace kelvane::cli
