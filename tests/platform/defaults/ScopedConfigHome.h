#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "TempDir.h"

// Points HOME and XDG_CONFIG_HOME into a fresh temporary folder for the scope, and puts back
// what was there before.
class ScopedConfigHome {
public:
    ScopedConfigHome() : m_home(Save("HOME")), m_config(Save("XDG_CONFIG_HOME")) {
        setenv("HOME", m_dir.Path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir / ".config").c_str(), 1);
    }
    ~ScopedConfigHome() {
        Restore("HOME", m_home);
        Restore("XDG_CONFIG_HOME", m_config);
    }
    ScopedConfigHome(const ScopedConfigHome&) = delete;
    ScopedConfigHome& operator=(const ScopedConfigHome&) = delete;
    ScopedConfigHome(ScopedConfigHome&&) = delete;
    ScopedConfigHome& operator=(ScopedConfigHome&&) = delete;

    const TempDir& Dir() const { return m_dir; }
    std::string Home() const { return m_dir.Path().string(); }
    std::string DefaultsFolder() const { return m_dir / ".config/swfharvex"; }

private:
    static std::optional<std::string> Save(const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }

    TempDir m_dir;
    std::optional<std::string> m_home;
    std::optional<std::string> m_config;
};
