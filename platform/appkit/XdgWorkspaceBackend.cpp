#include "appkit/XdgWorkspaceBackend.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "appkit/DetachedLaunch.h"
#include "appkit/ProgramLookup.h"
#include "foundation/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

// Absolute and existing, or a Failure saying which path is missing. Absolute paths also never
// pass for an option ("-x").
Outcome<std::string> ExistingAbsolute(const std::string& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        return Failure{path, error.message()};
    }
    if (!fs::exists(absolute, error)) {
        return Failure{path, "no such file or folder"};
    }
    return absolute.lexically_normal().string();
}

// "file://" and the path, every byte but the unreserved ones and "/" percent-encoded.
std::string FileURI(const std::string& absolutePath) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (char c : absolutePath) {
        auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || c == '/' || c == '-' || c == '.' ||
                           c == '_' || c == '~';
        if (plain) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0xf];
        }
    }
    return uri;
}

// Where dbus-send finds the session bus: the address in the environment, or the per-user bus
// socket of systemd desktops.
bool SessionBusKnown() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        address != nullptr && *address != '\0') {
        return true;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    return runtime != nullptr && *runtime != '\0' &&
           fs::is_socket(fs::path(runtime) / "bus", error);
}

} // namespace

XdgWorkspaceBackend::XdgWorkspaceBackend(std::string opener, std::string busSender)
    : m_opener(std::move(opener)), m_busSender(std::move(busSender)) {
}

Outcome<> XdgWorkspaceBackend::Open(const std::string& argument) const {
    std::optional<std::string> opener = ChildProcess::FindProgram(m_opener);
    if (!opener) {
        return Failure{argument, "no " + m_opener + " on PATH to open it with"};
    }
    return LaunchDetached({*opener, argument});
}

Outcome<> XdgWorkspaceBackend::ShowSelected(const std::string& file) const {
    std::optional<std::string> sender = ChildProcess::FindProgram(m_busSender);
    if (!sender) {
        return Failure{file, "no " + m_busSender + " on PATH"};
    }
    if (!SessionBusKnown()) {
        return Failure{file, "no session bus"};
    }
    return LaunchDetached({*sender, "--session", "--type=method_call",
                           "--dest=org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                           "org.freedesktop.FileManager1.ShowItems",
                           "array:string:" + FileURI(file), "string:"});
}

Outcome<> XdgWorkspaceBackend::OpenURL(const std::string& url) {
    return Open(url);
}

Outcome<> XdgWorkspaceBackend::OpenFile(const std::string& path, const std::string& appPath,
                                        bool /*andDeactivate*/) {
    Outcome<std::string> file = ExistingAbsolute(path);
    if (!file) {
        return file.failure();
    }
    if (appPath.empty()) {
        return Open(file.value());
    }
    std::error_code error;
    if (!fs::exists(appPath, error)) {
        return Failure{appPath, "no such application"};
    }
    std::optional<std::string> program = ExecutableForApplication(appPath);
    if (!program) {
        return Failure{appPath, "no program to start in the application"};
    }
    return LaunchDetached({*program, file.value()});
}

Outcome<> XdgWorkspaceBackend::SelectFile(const std::string& path,
                                          const std::string& rootedAtPath) {
    if (!path.empty()) {
        Outcome<std::string> file = ExistingAbsolute(path);
        if (!file) {
            return file.failure();
        }
        if (ShowSelected(file.value())) {
            return {};
        }
        fs::path folder = fs::path(file.value()).parent_path();
        return Open(folder.empty() ? file.value() : folder.string());
    }
    Outcome<std::string> root = ExistingAbsolute(rootedAtPath);
    if (!root) {
        return root.failure();
    }
    std::error_code error;
    if (!fs::is_directory(root.value(), error)) {
        return Failure{rootedAtPath, "not a folder"};
    }
    return Open(root.value());
}
