#include "listwindow/SaveWorkflow.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "foundation/FileManager.h"
#include "foundation/PathString.h"

namespace {

// The target and, when the cause lies elsewhere (the caught movie, the folder), the cause too.
Failure SaveFailure(const std::string& target, const Failure& cause) {
    return Failure{target, cause.what == target ? cause.why : cause.message()};
}

SaveWorkflow::Step Copied(const Outcome<>& copy, const std::string& target) {
    if (!copy) {
        return SaveWorkflow::Failed{SaveFailure(target, copy.failure())};
    }
    return SaveWorkflow::Finished{target};
}

// Replaces the target with the caught movie, unless the target is the caught movie itself: the
// folder named is the capture folder, and the file already is where it was to go.
SaveWorkflow::Step Replace(const SaveRequest& request) {
    const std::string source = SaveSourcePath(request);
    const std::string target = SaveTargetPath(request);
    std::error_code error;
    if (std::filesystem::equivalent(source, target, error)) {
        return SaveWorkflow::Finished{target};
    }
    return Copied(FileManager::defaultManager().replaceItemByCopying(source, target), target);
}

// A choice the window never stores: nothing is copied, and the person learns where to fix it.
std::string UnknownClashPolicy(int64_t policy) {
    return "the stored choice for when a file of that name exists (" + std::to_string(policy) +
           ") is not one of the choices: choose one in Preferences";
}

// The folder the person agreed to create: made now, or already there because something else
// made it while the question was open. Anything else in its place is a failure.
Outcome<> MakeFolder(const std::string& folder) {
    Outcome<> made = FileManager::defaultManager().createDirectoryAtPath(folder);
    std::error_code error;
    if (!made && std::filesystem::is_directory(folder, error)) {
        return {};
    }
    return made;
}

} // namespace

std::string SaveSourcePath(const SaveRequest& request) {
    return request.captureFolder + "/" + request.swfName;
}

std::string SaveTargetPath(const SaveRequest& request) {
    const bool root = lastPathComponent(request.folderText) == "/";
    return request.folderText + (root ? "" : "/") + request.swfName;
}

std::string NumberedSavePath(const std::string& target) {
    const std::string stem = stringByDeletingPathExtension(target);
    const FileManager& files = FileManager::defaultManager();
    for (unsigned long number = 1;; ++number) {
        std::string candidate = stem + "_" + std::to_string(number) + ".swf";
        if (!files.fileExistsAtPath(candidate)) {
            return candidate;
        }
    }
}

SaveWorkflow::Step SaveWorkflow::Transition(const Event& event) {
    if (const auto* save = std::get_if<Save>(&event)) {
        m_state = State::Idle;
        return Start(save->request);
    }
    if (const auto* answer = std::get_if<OverwriteAnswered>(&event)) {
        return AfterOverwrite(*answer);
    }
    return AfterCreateFolder(std::get<CreateFolderAnswered>(event));
}

SaveWorkflow::Step SaveWorkflow::Start(const SaveRequest& request) {
    // Without a selection both paths would name folders: nothing may be copied or removed.
    if (request.swfName.empty()) {
        return Stopped{"no movie is selected"};
    }
    const FileManager& files = FileManager::defaultManager();
    const std::string& folder = request.folderText;
    // A folder that does not exist yet passes here; it is offered for creation below.
    if (files.fileExistsAtPath(folder) && !files.isWritableFileAtPath(folder)) {
        return ShowSheet{SaveSheet::NotWritable};
    }
    // No expansion of "~": a relative path would land wherever the host was started.
    if (folder.empty() || folder.front() != '/') {
        return ShowSheet{SaveSheet::NoSlash};
    }
    const std::string source = SaveSourcePath(request);
    const std::string target = SaveTargetPath(request);
    if (files.fileExistsAtPath(target)) {
        switch (request.clashPolicy) {
        case 0: {
            const std::string numbered = NumberedSavePath(target);
            return Copied(files.copyPath(source, numbered), numbered);
        }
        case 1:
            return Replace(request);
        case 2:
            m_state = State::AskingOverwrite;
            return ShowSheet{SaveSheet::Overwrite};
        default:
            return Failed{Failure{target, UnknownClashPolicy(request.clashPolicy)}};
        }
    }
    if (files.fileExistsAtPath(folder)) {
        return Copied(files.copyPath(source, target), target);
    }
    m_state = State::AskingCreateFolder;
    return ShowSheet{SaveSheet::CreateFolder};
}

std::optional<SaveWorkflow::Step> SaveWorkflow::CloseQuestion(State asked, bool accepted,
                                                              const SaveRequest& request) {
    if (m_state != asked) {
        return Stopped{"that question is not open"};
    }
    m_state = State::Idle;
    if (!accepted) {
        return Stopped{};
    }
    if (request.swfName.empty()) {
        return Stopped{"no movie is selected"};
    }
    return std::nullopt;
}

SaveWorkflow::Step SaveWorkflow::AfterOverwrite(const OverwriteAnswered& answer) {
    if (std::optional<Step> stop =
            CloseQuestion(State::AskingOverwrite, answer.accepted, answer.request)) {
        return *stop;
    }
    return Replace(answer.request);
}

SaveWorkflow::Step SaveWorkflow::AfterCreateFolder(const CreateFolderAnswered& answer) {
    if (std::optional<Step> stop =
            CloseQuestion(State::AskingCreateFolder, answer.accepted, answer.request)) {
        return *stop;
    }
    const std::string target = SaveTargetPath(answer.request);
    // One level only: a missing parent is reported, not made.
    if (Outcome<> made = MakeFolder(answer.request.folderText); !made) {
        return Failed{SaveFailure(target, made.failure())};
    }
    return Copied(FileManager::defaultManager().copyPath(SaveSourcePath(answer.request), target),
                  target);
}
