#include "app/validation.hpp"

#include "app/parameter_table.hpp"

namespace kelvane::app {

std::vector<std::string> parameterProblems(const Parameters& p) {
  std::vector<std::string> problems;
  for (const auto& spec : parameterTable())
    if (std::string m = problemOf(spec, p); !m.empty()) problems.push_back(std::move(m));
  return problems;
}

void validateParameters(const Parameters& p) {
  const auto problems = parameterProblems(p);
  if (problems.empty()) return;
  std::string msg = "The parameters cannot be used:";
  for (const auto& m : problems)
    msg += "\n" + m;
  throw ParameterError(msg);
}

}  // namespace kelvane::app
