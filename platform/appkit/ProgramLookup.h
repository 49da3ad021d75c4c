#pragma once

#include <optional>
#include <string>

// Finding the program to start, without a shell.

// A program found by name: ChildProcess::FindProgram.

// The program that stands for an application path, as an absolute path:
// - an executable regular file is the program itself;
// - a folder (an application bundle such as "Dissecta.app") holds it, and the first executable
//   regular file of these wins: <folder>/AppRun, <folder>/<stem>, <folder>/bin/<stem>, where
//   <stem> is the folder's name without its extension ("Dissecta"); failing those, the only
//   executable regular file in <folder>/bin.
// None otherwise.
std::optional<std::string> ExecutableForApplication(const std::string& appPath);
