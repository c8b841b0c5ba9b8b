// Paths of the files the program keeps beside its own executable: the
// database folder, the not-found image, the upload folder, the request
// recording (".req") and the error log (".txt").
#pragma once

#include <string>

namespace banner {

// `path` with the extension of its last part replaced by `extension` (which
// carries its dot, as ".txt"); a last part without an extension gets it
// appended. Dots in folder names are not extensions.
std::string ChangeFileExt(const std::string& path, const std::string& extension);

// The folder of the running executable, with a trailing separator.
std::string ExecutableFolder();
// `name` inside the executable's folder.
std::string BesideExecutable(const std::string& name);
// The executable's own path with its extension replaced (".req", ".txt").
std::string ExecutableWithExtension(const std::string& extension);

}  // namespace banner
