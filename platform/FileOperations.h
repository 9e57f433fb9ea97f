// Moving and copying items so that nothing the user did not ask to replace is ever replaced, and
// a failed operation leaves the items as they were.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace ov {

struct FileError {
    int code = 0; // errno
    std::string message;
};

enum class FileOutcome {
    Done,
    DestinationExists, // only without replacing: something is at the destination, nothing changed
    Failed,
};

struct MoveResult {
    FileOutcome outcome = FileOutcome::Failed;
    FileError error;
    // Replacing: the new item is in place but the old one could not be removed completely.
    std::optional<FileError> oldItemError;
    // Across file systems the copy is complete at the destination but the source could not be
    // removed completely; the outcome is then Failed and the destination stays.
    bool destinationKept = false;
};

// Moves src to dst. With noReplace an existing item at dst is never touched (DestinationExists).
// Without it, an item at dst is replaced only once src is in place beside it (atomic rename for
// files, an exchange for folders and mixed kinds). Across file systems the item is copied with
// modes, times, links and folders, checked, and only then removed at the source; a failed copy
// is removed again and the source stays.
MoveResult moveItem(const std::string& src, const std::string& dst, bool noReplace);

// Copies src (following a symbolic link at src itself) to a dst that must not exist yet: never
// overwrites (DestinationExists). The copy is a new item of the current user: no owner or set-id
// bits are carried over. A failed copy is removed again.
MoveResult copyItem(const std::string& src, const std::string& dst);

// Creates an empty file of the current user where nothing exists yet, claiming the name
// (DestinationExists when something is there, a dangling link too).
MoveResult createEmptyFile(const std::string& path);

// Removes a file only while it is still an empty regular file (a claimed name never filled).
bool removeEmptyFile(const std::string& path);

// Sets the modification (and access) time of an item to now.
bool touchItem(const std::string& path);

// Removes an item and everything below it.
bool removeItem(const std::string& path, FileError* error);

// Whether the current user may create entries in a folder.
bool isWritableFolder(const std::string& path);

// For tests: while alive, a move across file systems calls the hook with the source once the
// copy is complete and before the source is removed, so a test can change the source there.
class ScopedMoveAcrossHook {
public:
    explicit ScopedMoveAcrossHook(std::function<void(const std::string& src)> hook);
    ~ScopedMoveAcrossHook();
    ScopedMoveAcrossHook(const ScopedMoveAcrossHook&) = delete;
    ScopedMoveAcrossHook& operator=(const ScopedMoveAcrossHook&) = delete;
};

} // namespace ov
