#include "app/exe_files.h"

#include "platform/process.h"

namespace banner {

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  const size_t name_start =
      path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1;
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < name_start) return path + extension;
  return path.substr(0, dot) + extension;
}

std::string ExecutableFolder() {
  const std::string path = platform::ExecutablePath();
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string BesideExecutable(const std::string& name) { return ExecutableFolder() + name; }

std::string ExecutableWithExtension(const std::string& extension) {
  return ChangeFileExt(platform::ExecutablePath(), extension);
}

}  // namespace banner
