#pragma once

#include <string>

#include "foundation/Outcome.h"

// Holds the capture folder for one run. The plug-in empties the folder when it starts, so a second
// run would delete the movies of a run still going: each run holds an advisory lock on a file
// beside the folder (".NAME.lock"), which names the holder. The kernel lets go of it when the
// holder ends, however it ends; the file itself stays.
class CaptureFolderLock {
public:
    // Takes the lock for `folder` without waiting, creating the folder's parent when missing.
    // `holder` describes this process to a run that finds the folder taken ("swfharvex capture").
    // When another process holds it, the failure names that holder and IsInUse() says so.
    static Outcome<CaptureFolderLock> Take(const std::string& folder, const std::string& holder);
    // Whether Take failed because another process holds the folder.
    static bool IsInUse(const Failure& failure);

    // The lock file that guards `folder`.
    static std::string LockPathFor(const std::string& folder);

    CaptureFolderLock(CaptureFolderLock&& other) noexcept;
    CaptureFolderLock& operator=(CaptureFolderLock&& other) noexcept;
    CaptureFolderLock(const CaptureFolderLock&) = delete;
    CaptureFolderLock& operator=(const CaptureFolderLock&) = delete;
    ~CaptureFolderLock();

private:
    explicit CaptureFolderLock(int descriptor) : m_descriptor(descriptor) {}

    int m_descriptor = -1;
};
