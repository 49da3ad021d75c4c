#pragma once

#include <string>
#include <string_view>

#include "foundation/Outcome.h"

// Replaces a file's content as one step: readers (and a crash at any point) see either the old
// content or the new, never a mix. The bytes go to a temporary file in the same folder, are
// flushed to disk, renamed over the file, and the folder is flushed so the rename itself lasts.
class AtomicFile {
public:
    // Points where a test can make the writing process die as if it had crashed.
    enum class Failpoint {
        None,
        KillBeforeRename, // the temporary file is written and flushed; the rename never happens
    };

    // Creates the folder (and its parents) when missing. On failure the old file is untouched
    // and no temporary file is left behind.
    static Outcome<> Write(const std::string& path, std::string_view bytes);

    // Process-wide; meant for a forked child in tests.
    static void setFailpointForTesting(Failpoint failpoint);
};
