#include "registry/registry.hpp"

#include <algorithm>
#include <iostream>
#include <optional>

namespace kelvane::registry {

std::string runtimeErrorText(std::string_view qualifiedName, int line, bool outputs, int declared) {
  std::string s = "Run-time Error: File: ";
  s += qualifiedName;
  s += " Line: " + std::to_string(line) + " Column: 1 The function \"";
  s += qualifiedName;
  s += "\" was called with more than the declared number of ";
  s += outputs ? "outputs" : "inputs";
  s += " (" + std::to_string(declared) + ").";
  return s;
}

// ---- Table ----------------------------------------------------------------------------------

Table::Table(std::string module) : module_(std::move(module)) {}

Entry& Table::declare(std::string name, int maxInputs, int maxOutputs) {
  if (index_.count(name)) throw Error("operation \"" + name + "\" is declared twice");
  index_.emplace(name, entries_.size());
  entries_.push_back(Entry{std::move(name), maxInputs, maxOutputs, {}, 0});
  return entries_.back();
}

Entry& Table::at(std::string_view name) {
  auto it = index_.find(name);
  if (it == index_.end())
    throw Error("operation \"" + std::string(name) + "\" is not declared in " +
                (module_.empty() ? std::string("the library") : module_));
  return entries_[it->second];
}

void Table::bind(std::string_view name, Operation op, std::source_location where) {
  Entry& e = at(name);
  if (e.built()) throw Error("operation \"" + std::string(name) + "\" is bound twice");
  e.op = std::move(op);
  if (e.line == 0) e.line = static_cast<int>(where.line());
}

void Table::add(std::string name, int maxInputs, int maxOutputs, Operation op,
                std::source_location where) {
  Entry& e = declare(std::move(name), maxInputs, maxOutputs);
  e.op = std::move(op);
  e.line = static_cast<int>(where.line());
}

void Table::setLine(std::string_view name, int line) {
  at(name).line = line;
}

const Entry* Table::find(std::string_view name) const {
  auto it = index_.find(name);
  return it == index_.end() ? nullptr : &entries_[it->second];
}

std::string Table::qualifiedName(const Entry& e) const {
  return module_.empty() ? e.name : module_ + "/" + e.name;
}

Outputs Table::call(std::string_view name, Args args, int nargout) const {
  const Entry* e = find(name);
  if (!e) {
    if (module_.empty()) throw Error("Undefined function \"" + std::string(name) + "\".");
    throw Error("Undefined function \"" + std::string(name) + "\" in module " + module_ + ".");
  }
  if (limits(e->maxInputs) && static_cast<int>(args.size()) > e->maxInputs)
    throw Error(runtimeErrorText(qualifiedName(*e), e->line, false, e->maxInputs));
  if (limits(e->maxOutputs) && nargout > e->maxOutputs)
    throw Error(runtimeErrorText(qualifiedName(*e), e->line, true, e->maxOutputs));
  if (!e->built())
    throw Error("The operation \"" + qualifiedName(*e) + "\" is not built in this version.");
  Outputs out = e->op(args, nargout);
  if (static_cast<int>(out.size()) > std::max(nargout, 1)) out.resize(std::max(nargout, 1));
  return out;
}

// ---- console and dispatch -------------------------------------------------------------------

namespace {
ConsoleSink& consoleSink() {
  static ConsoleSink sink;
  return sink;
}
}  // namespace

void setConsole(ConsoleSink sink) {
  consoleSink() = std::move(sink);
}

void printToConsole(std::string_view line) {
  if (consoleSink()) {
    consoleSink()(line);
  } else {
    std::cerr << line << '\n';
  }
}

Outputs dispatch(const Table& module, Args args, int nargout) {
  if (args.empty() || !args[0].isText()) return {};
  try {
    return module.call(args[0].str(), args.subspan(1), nargout);
  } catch (const std::exception& e) {
    printToConsole(e.what());
    return {};
  }
}

// ---- Variables ------------------------------------------------------------------------------

const std::vector<std::string>& Variables::names() {
  static const std::vector<std::string> n = {"SigGenSettings",
                                             "appInfo",
                                             "configuration",
                                             "controlMarkers",
                                             "controlWaveform",
                                             "figureList",
                                             "frequency",
                                             "markers",
                                             "newSettings",
                                             "parameters",
                                             "preferredBandClass",
                                             "preferredChannelNumber",
                                             "preferredTransmitterType",
                                             "trafficMarkers",
                                             "trafficWaveform",
                                             "waveform"};
  return n;
}

Variables::Slot& Variables::slot(std::string_view name) {
  const auto& n = names();
  if (std::find(n.begin(), n.end(), name) == n.end())
    throw Error("\"" + std::string(name) + "\" is not a process-wide variable of this library.");
  auto it = slots_.find(name);
  if (it == slots_.end()) it = slots_.emplace(std::string(name), Slot{}).first;
  return it->second;
}

const Variables::Slot* Variables::findSlot(std::string_view name) const {
  const auto& n = names();
  if (std::find(n.begin(), n.end(), name) == n.end())
    throw Error("\"" + std::string(name) + "\" is not a process-wide variable of this library.");
  auto it = slots_.find(name);
  return it == slots_.end() ? nullptr : &it->second;
}

Value Variables::get(std::string_view name) const {
  const Slot* s = findSlot(name);
  if (!s) return Value();
  return s->get ? s->get() : s->value;
}

void Variables::set(std::string_view name, Value v) {
  Slot& s = slot(name);
  if (s.set) {
    s.set(std::move(v));
  } else {
    s.value = std::move(v);
  }
}

void Variables::bindAccessors(std::string_view name, std::function<Value()> get,
                              std::function<void(Value)> set) {
  Slot& s = slot(name);
  s.get = std::move(get);
  s.set = std::move(set);
}

// ---- Library and lifecycle ------------------------------------------------------------------

Library::Library() {
  for (const auto& d : libraryDeclarations())
    operations_.declare(d.name, d.maxInputs, d.maxOutputs);
}

Table& Library::module(const std::string& name) {
  auto it = modules_.find(name);
  if (it == modules_.end()) it = modules_.emplace(name, Table(name)).first;
  return it->second;
}

const Table* Library::findModule(std::string_view name) const {
  auto it = modules_.find(name);
  return it == modules_.end() ? nullptr : &it->second;
}

void Library::runReleases() {
  while (!releases_.empty()) {
    auto r = std::move(releases_.back());
    releases_.pop_back();
    r();
  }
}

namespace {
enum class State { Uninitialized, Initialized, Terminated };
State state = State::Uninitialized;
std::unique_ptr<Library>& current() {
  static std::unique_ptr<Library> lib;
  return lib;
}
}  // namespace

void initialize(std::span<const Binder> binders) {
  if (state == State::Initialized) throw Error("The library is already initialized.");
  auto lib = std::make_unique<Library>();
  for (Binder b : binders)
    b(*lib);
  // The two lines the system prescribes for its run-time error texts.
  lib->operations().setLine("Qarn_FTM_c", 1);
  if (Table& gui = lib->module("Qarn_FTM_GUI_c"); gui.find("InitializeFigures"))
    gui.setLine("InitializeFigures", 41);
  current() = std::move(lib);
  state = State::Initialized;
}

void terminate() {
  if (state != State::Initialized) throw Error("The library is not initialized.");
  current()->runReleases();
  current().reset();
  state = State::Terminated;
}

bool initialized() {
  return state == State::Initialized;
}

Library& library() {
  switch (state) {
    case State::Initialized:
      return *current();
    case State::Uninitialized:
      throw Error("The library is not initialized: call Qarn_FTM_c_libInitialize first.");
    default:
      throw Error(
          "The library has been terminated: no operation can be called after "
          "Qarn_FTM_c_libTerminate.");
  }
}

Outputs call(std::string_view name, std::vector<Value> args, int nargout) {
  return library().operations().call(name, args, nargout);
}

Value getVariable(std::string_view name) {
  return library().variables().get(name);
}

void setVariable(std::string_view name, Value v) {
  library().variables().set(name, std::move(v));
}

}  // namespace kelvane::registry
