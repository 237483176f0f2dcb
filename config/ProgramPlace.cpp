#include "config/ProgramPlace.h"

#include <filesystem>
#include <system_error>

namespace zorv {

namespace {

// The kernel's link to the running image; it names the real file even when the program
// was started through a symbolic link or a relative path.
std::filesystem::path ExecutablePath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return path;
}

}  // namespace

std::string ExecutableFileName() {
    std::string name = ExecutablePath().filename().string();
    return name.empty() ? std::string("zorvdial") : name;
}

std::string ExecutableDirectory() {
    std::filesystem::path path = ExecutablePath();
    if (path.empty()) {
        std::error_code error;
        std::filesystem::path current = std::filesystem::current_path(error);
        return error ? std::string(".") : current.string();
    }
    return path.parent_path().string();
}

}  // namespace zorv
