#include "foundation/PathString.h"

namespace {

// Collapses runs of "/" and drops a trailing "/" unless the path is the root.
std::string Standardized(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/') {
            continue;
        }
        out.push_back(c);
    }
    if (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    return out;
}

// Position of the "." that starts the extension of the standardized path, or npos.
std::string::size_type ExtensionDot(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto start = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || dot <= start || dot + 1 == path.size()) {
        return std::string::npos;
    }
    return dot;
}

} // namespace

std::string lastPathComponent(std::string_view path) {
    std::string clean = Standardized(path);
    if (clean == "/") {
        return clean;
    }
    const auto slash = clean.rfind('/');
    return slash == std::string::npos ? clean : clean.substr(slash + 1);
}

std::string pathExtension(std::string_view path) {
    const std::string clean = Standardized(path);
    const auto dot = ExtensionDot(clean);
    return dot == std::string::npos ? std::string() : clean.substr(dot + 1);
}

std::string stringByAppendingPathComponent(std::string_view path, std::string_view component) {
    if (path.empty()) {
        return Standardized(component);
    }
    if (component.empty()) {
        return Standardized(path);
    }
    std::string joined(path);
    joined.push_back('/');
    joined.append(component);
    return Standardized(joined);
}

std::string stringByDeletingLastPathComponent(std::string_view path) {
    const std::string clean = Standardized(path);
    const auto slash = clean.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    if (slash == 0) {
        return "/";
    }
    return clean.substr(0, slash);
}

std::string stringByDeletingPathExtension(std::string_view path) {
    const std::string clean = Standardized(path);
    const auto dot = ExtensionDot(clean);
    return dot == std::string::npos ? clean : clean.substr(0, dot);
}
