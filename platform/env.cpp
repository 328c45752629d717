// The running executable's folder and base name, from its path.
#include "platform/env.h"

namespace platform {

namespace {
std::string overridden;
}

std::string ProgramPath() {
  return overridden.empty() ? OsProgramPath() : overridden;
}

void SetProgramPath(const std::string &path) {
  overridden = path.empty() ? std::string() : AbsolutePath(path);
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos)
    return {};
  return path.substr(0, slash);
}

std::string ProgramBaseName() { return BaseNameOf(ProgramPath()); }

std::string BaseNameOf(const std::string &path) {
  const size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos)
    name.erase(dot);
  return name;
}

} // namespace platform
