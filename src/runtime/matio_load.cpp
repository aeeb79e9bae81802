#include <dlfcn.h>

#include <string>
#include <vector>

#include "runtime/matio_plugin.hpp"
#include "runtime/value.hpp"

namespace kelvane::runtime::detail {

#ifdef KELVANE_MATIO_LINKED
// Built with the plugin's code linked in (the fuzz targets).
const MatioFunctions& matioFunctions() {
  return *kelvane_matio_functions();
}
#else
namespace {

constexpr const char* kPlugin = "kelvane/libkelvane-matio.so";

// Where the plugin may be: <libdir>/kelvane beside the shared library holding this code, or
// below the libdir of the program in <bindir> (found through /proc, as a program started through
// PATH knows no folder of its own), and in the build tree.
std::vector<std::filesystem::path> candidates() {
  std::vector<std::filesystem::path> folders;
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&matioFunctions), &info) != 0 && info.dli_fname &&
      info.dli_fname[0] == '/')
    folders.push_back(std::filesystem::path(info.dli_fname).parent_path());
  std::error_code ec;
  if (const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec); !ec)
    folders.push_back(exe.parent_path());
  std::vector<std::filesystem::path> paths;
  for (const auto& folder : folders) {
    paths.push_back(folder / kPlugin);
    paths.push_back((folder / KELVANE_LIBDIR_FROM_BINDIR / kPlugin).lexically_normal());
  }
  paths.push_back(std::filesystem::path(KELVANE_BUILD_LIBDIR) / kPlugin);
  return paths;
}

const MatioFunctions* load() {
  std::string tried;
  for (const auto& path : candidates()) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) continue;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = ::dlerror();
      tried += std::string(tried.empty() ? "" : "; ") + (why ? why : path.string());
      continue;
    }
    using Entry = const MatioFunctions* (*)();
    if (auto entry = reinterpret_cast<Entry>(::dlsym(handle, "kelvane_matio_functions")))
      return entry();
    tried += std::string(tried.empty() ? "" : "; ") + path.string() + " has no entry point";
    ::dlclose(handle);
  }
  throw Error("MAT files cannot be written or read through libmatio: the plugin " +
              std::string(kPlugin) + " " +
              (tried.empty() ? "was not found beside the program" : "did not load: " + tried) +
              ".");
}

}  // namespace

const MatioFunctions& matioFunctions() {
  static const MatioFunctions* functions = load();  // a throw leaves it for the next call
  return *functions;
}
#endif

}  // namespace kelvane::runtime::detail
