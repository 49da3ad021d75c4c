#pragma once

#include <string>
#include <string_view>

// Path-string functions with the original platform's rules: runs of "/" count as one, a
// trailing "/" is ignored (except for the root), and the extension is the text after the last
// "." of the last component, unless that "." begins the component.

std::string lastPathComponent(std::string_view path);
std::string pathExtension(std::string_view path);
std::string stringByAppendingPathComponent(std::string_view path, std::string_view component);
std::string stringByDeletingLastPathComponent(std::string_view path);
std::string stringByDeletingPathExtension(std::string_view path);
