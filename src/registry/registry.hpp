// Operations by name: the library's table of 115 operations, the window modules' own tables, the
// calling rules with their run-time error texts, the process-wide named variables and the
// library's initialize/terminate lifecycle.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <source_location>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.hpp"

namespace kelvane::registry {

using runtime::Value;
using Args = std::span<const Value>;
using Outputs = std::vector<Value>;
// An operation by name: its inputs and the number of outputs requested.
using Operation = std::function<Outputs(Args args, int nargout)>;

// Raised by the calling rules (unknown name, too many inputs or outputs, an operation not built,
// a library that is not initialized). Errors raised inside operations pass through unchanged.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A maximum count: n >= 0 is a fixed maximum; -1 a variable list only; -k (k >= 2) up to k - 1
// fixed arguments followed by a variable list. Only n >= 0 limits a call.
constexpr bool limits(int count) {
  return count >= 0;
}

struct Entry {
  std::string name;
  int maxInputs = 0;
  int maxOutputs = 0;
  Operation op;  // empty while the operation is not built
  int line = 0;  // line of the operation's definition, for the run-time error text
  bool built() const { return static_cast<bool>(op); }
};

// The run-time error of a call with more inputs or outputs than declared, e.g.
// "Run-time Error: File: Qarn_FTM_c Line: 1 Column: 1 The function "Qarn_FTM_c" was called with
// more than the declared number of inputs (0)."
std::string runtimeErrorText(std::string_view qualifiedName, int line, bool outputs, int declared);

// A table of operations by name in a fixed order. The library table has no module name; a window
// module's table carries the module's name, which prefixes its operations in error texts.
class Table {
 public:
  explicit Table(std::string module = {});

  const std::string& module() const { return module_; }

  // Declares a name with its counts; its operation is bound later (or never).
  Entry& declare(std::string name, int maxInputs, int maxOutputs);
  // Binds the operation of a declared name; `where` is the definition's line for error texts.
  void bind(std::string_view name, Operation op,
            std::source_location where = std::source_location::current());
  // Declares and binds in one step (the window modules' tables).
  void add(std::string name, int maxInputs, int maxOutputs, Operation op,
           std::source_location where = std::source_location::current());
  // Fixes the line reported for `name` (the two lines the system prescribes).
  void setLine(std::string_view name, int line);

  const Entry* find(std::string_view name) const;
  const std::vector<Entry>& entries() const { return entries_; }
  std::string qualifiedName(const Entry& e) const;

  // Call by name: look up, check the counts, run.
  Outputs call(std::string_view name, Args args, int nargout) const;

 private:
  std::string module_;
  std::vector<Entry> entries_;
  std::map<std::string, std::size_t, std::less<>> index_;
  Entry& at(std::string_view name);
};

// A window module's dispatcher: a text first argument names an operation of `module`, which runs
// with the remaining arguments inside an error guard that prints the error to the console and
// returns no outputs. A first argument that is not text (or no argument) does nothing.
Outputs dispatch(const Table& module, Args args, int nargout);

// Where caught errors are printed; standard error unless a test redirects it.
using ConsoleSink = std::function<void(std::string_view line)>;
void setConsole(ConsoleSink sink);
void printToConsole(std::string_view line);

// The 16 process-wide variables, empty until set. A variable may be bound to accessors so that
// it reads and writes a typed application-state object instead of a stored value.
class Variables {
 public:
  static const std::vector<std::string>& names();

  Value get(std::string_view name) const;
  void set(std::string_view name, Value v);
  void bindAccessors(std::string_view name, std::function<Value()> get,
                     std::function<void(Value)> set);

 private:
  struct Slot {
    Value value;
    std::function<Value()> get;
    std::function<void(Value)> set;
  };
  std::map<std::string, Slot, std::less<>> slots_;
  Slot& slot(std::string_view name);
  const Slot* findSlot(std::string_view name) const;
};

// The library while it is initialized: its operation table, the window modules' tables and the
// named variables.
class Library {
 public:
  Library();
  Table& operations() { return operations_; }
  const Table& operations() const { return operations_; }
  // The table of a window module, created empty on first use.
  Table& module(const std::string& name);
  const Table* findModule(std::string_view name) const;
  Variables& variables() { return variables_; }
  // Releases run at terminate in reverse order of registration (module constants).
  void atTerminate(std::function<void()> release) { releases_.push_back(std::move(release)); }
  void runReleases();

 private:
  Table operations_;
  std::map<std::string, Table, std::less<>> modules_;
  Variables variables_;
  std::vector<std::function<void()>> releases_;
};

// A binder adds one subsystem's operations, module tables and constants to the library.
using Binder = void (*)(Library&);

// Lifecycle. initialize declares the 115 operations, runs each binder in order (their module
// constant set-ups included) and makes the variables known; terminate runs the releases and
// drops everything. Calling an operation outside this window is an error.
void initialize(std::span<const Binder> binders);
void terminate();
bool initialized();
Library& library();  // throws Error when the library is not initialized

// Conveniences over library().
Outputs call(std::string_view name, std::vector<Value> args, int nargout = 1);
Value getVariable(std::string_view name);
void setVariable(std::string_view name, Value v);

// The 115 names of the library table with their counts, in their order.
struct Declaration {
  const char* name;
  int maxInputs;
  int maxOutputs;
};
std::span<const Declaration> libraryDeclarations();

}  // namespace kelvane::registry
