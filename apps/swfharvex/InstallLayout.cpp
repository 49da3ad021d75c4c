#include "swfharvex/InstallLayout.h"

InstallLayout InstallLayout::OfRunningProgram() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return InstallLayout(program.parent_path());
}
