#pragma once

#include <optional>
#include <string>

// Finding the program to start, without a shell.

// A program name as a shell would find it: a name with a slash is taken as a path; otherwise
// the first executable regular file of that name in the folders of `searchPath` (colon
// separated; empty entries are skipped rather than meaning the current folder).
std::optional<std::string> FindProgramOnPath(const std::string& name,
                                             const std::string& searchPath);
// The same with the environment's PATH.
std::optional<std::string> FindProgramOnPath(const std::string& name);

// The program that stands for an application path, as an absolute path:
// - an executable regular file is the program itself;
// - a folder (an application bundle such as "Dissecta.app") holds it, and the first executable
//   regular file of these wins: <folder>/AppRun, <folder>/<stem>, <folder>/bin/<stem>, where
//   <stem> is the folder's name without its extension ("Dissecta"); failing those, the only
//   executable regular file in <folder>/bin.
// None otherwise.
std::optional<std::string> ExecutableForApplication(const std::string& appPath);
