#pragma once

#include <cstdint>
#include <string>

// Small helpers on byte-string paths (UTF-8 on this platform) and the file system. They report
// failures through their results only: nothing is logged and nothing is thrown.

// Replaces the whole file at `path` with exactly the bytes of `content` (no line end), creating
// the folders in front of it first. Used for the Flash Player trust files, which each name one
// trusted folder. True only when every byte reached the file, including the flush on close.
bool CreateFlashTrustCFG(const std::string& content, const std::string& path);

// Creates each folder named by the part of `path` in front of every "/" after the first one, so
// "/a/b/c.cfg" gets /a and /a/b. The part in front of the first "/" is never created by itself,
// and a trailing "/" makes the last folder too. Failures (already there, no permission) are
// ignored: whoever opens the file afterwards finds out. A null path does nothing.
void CheckPathAndCreate(const char* path);

// The value of HOME, owned by the environment (do not free, and do not keep it across setenv), or
// null when HOME is not set or is not an absolute path.
const char* GetUsrHomeDirectory();

// True when stat() succeeds on `path`, following symbolic links: a dangling link is missing.
bool PathFileExists(const char* path);

// True for an "http://" URL (case-sensitive, not looked at further) or a file that begins "FLV".
bool CheckFLVFileStatus(const std::string& path);

// `value` in decimal, at least two digits ("07", "123").
std::string FormatTimeElement(uint32_t value);

// "MM:SS", or "H:MM:SS" once there is at least one whole hour (hours are at least two digits as
// well, and grow beyond them). Fractions are dropped. Negative and NaN seconds count as zero;
// seconds beyond the 32-bit range count as UINT32_MAX.
std::string FormatTimeString(float seconds);

// Truncating remainder, with the sign of `a`. A zero divisor gives 0 rather than a crash.
int32_t mod(int32_t a, int32_t b);
