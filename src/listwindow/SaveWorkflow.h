#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "foundation/Outcome.h"

// What one save works from, read off the window when the save starts and again when a sheet is
// answered.
struct SaveRequest {
    std::string captureFolder; // where the caught movie lies
    std::string swfName;       // the selected movie's file name; empty while none is selected
    std::string folderText;    // the folder the user named
    // When the target file exists: 0 a numbered name beside it, 1 replace it, 2 ask; any other
    // value (a hand-edited setting) saves nothing and fails, saying so.
    int64_t clashPolicy = 0;
};

// The questions and notices a save may put to the user.
enum class SaveSheet {
    NotWritable,  // the folder exists and cannot be written to
    NoSlash,      // the folder text is not an absolute path
    Overwrite,    // the target exists: replace it?
    CreateFolder, // the folder does not exist: create it?
};

// Saving the selected caught movie into a folder: one state machine, one transition function.
// The file operations happen inside the transition, so what it answers is what is on disk. Each
// copy is written beside its target and renamed into place: a failed copy leaves the old file
// (or nothing) where the new one was to go.
class SaveWorkflow {
public:
    enum class State { Idle, AskingOverwrite, AskingCreateFolder };

    struct Save {
        SaveRequest request;
    };
    struct OverwriteAnswered {
        SaveRequest request;
        bool accepted = false;
    };
    struct CreateFolderAnswered {
        SaveRequest request;
        bool accepted = false;
    };
    using Event = std::variant<Save, OverwriteAnswered, CreateFolderAnswered>;

    // Show this sheet; an answer comes back as an event when it asks.
    struct ShowSheet {
        SaveSheet sheet;
    };
    // The save is done: reveal this path, record the folder.
    struct Finished {
        std::string revealedPath;
    };
    // Nothing was saved; `failure` names the target and the reason. Record nothing.
    struct Failed {
        Failure failure;
    };
    // Declined or cancelled: nothing changed. `why` is empty for a plain cancel.
    struct Stopped {
        std::string why;
    };
    using Step = std::variant<ShowSheet, Finished, Failed, Stopped>;

    // A Save always starts afresh; an answer only counts while its question is open.
    Step Transition(const Event& event);
    State state() const { return m_state; }

private:
    Step Start(const SaveRequest& request);
    Step AfterOverwrite(const OverwriteAnswered& answer);
    Step AfterCreateFolder(const CreateFolderAnswered& answer);
    // Closes the open question with its answer; a step when the save ends there (the question
    // was not open, the answer was no, nothing is selected), none when it goes on.
    std::optional<Step> CloseQuestion(State asked, bool accepted, const SaveRequest& request);

    State m_state = State::Idle;
};

// The caught movie: the capture folder, a slash and the file name.
std::string SaveSourcePath(const SaveRequest& request);
// The folder text, a slash unless the folder is the root, and the file name. A text that ends in
// a slash gets a second one, which names the same file.
std::string SaveTargetPath(const SaveRequest& request);
// The first free "<target without its extension>_N.swf", N from 1.
std::string NumberedSavePath(const std::string& target);
