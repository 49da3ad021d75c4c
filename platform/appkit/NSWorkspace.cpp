#include "appkit/NSWorkspace.h"

#include <cctype>

#include "appkit/XdgWorkspaceBackend.h"

namespace {

bool IsSchemeCharacter(unsigned char c) {
    return std::isalnum(c) != 0 || c == '+' || c == '-' || c == '.';
}

// An absolute URL's outline: a scheme of a letter and scheme characters, a colon, and no
// white space or control characters (they would change meaning on the way to a program).
bool LooksLikeAbsoluteURL(const std::string& text) {
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 ||
        std::isalpha(static_cast<unsigned char>(text[0])) == 0) {
        return false;
    }
    for (size_t i = 0; i < colon; ++i) {
        if (!IsSchemeCharacter(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            return false;
        }
    }
    return true;
}

} // namespace

NSWorkspace::NSWorkspace() : m_backend(std::make_unique<XdgWorkspaceBackend>()) {
}

NSWorkspace& NSWorkspace::sharedWorkspace() {
    static NSWorkspace workspace;
    return workspace;
}

Outcome<> NSWorkspace::openURL(const std::string& url) {
    if (!LooksLikeAbsoluteURL(url)) {
        return Failure{url, "not an absolute URL"};
    }
    return m_backend->OpenURL(url);
}

Outcome<> NSWorkspace::openFile(const std::string& path, const std::string& appPath,
                                bool andDeactivate) {
    if (path.empty()) {
        return Failure{path, "no file to open"};
    }
    return m_backend->OpenFile(path, appPath, andDeactivate);
}

Outcome<> NSWorkspace::selectFile(const std::string& path, const std::string& rootedAtPath) {
    if (path.empty() && rootedAtPath.empty()) {
        return Failure{path, "no file or folder to show"};
    }
    return m_backend->SelectFile(path, rootedAtPath);
}

std::unique_ptr<WorkspaceBackend>
NSWorkspace::setBackend(std::unique_ptr<WorkspaceBackend> backend) {
    if (!backend) {
        backend = std::make_unique<XdgWorkspaceBackend>();
    }
    std::swap(backend, m_backend);
    return backend;
}
