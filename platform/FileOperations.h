// Moving and copying items so that nothing the user did not ask to replace is ever replaced, and
// a failed operation leaves the items as they were.
#pragma once

#include <sys/types.h>

#include <atomic>
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
// files, an exchange for folders and mixed kinds), and never when that would lose src
// (judgeReplacing refuses: EINVAL). Across file systems the item is copied with modes, times,
// links and folders under a hidden temporary name beside dst, checked, flushed to disk, put at
// dst, and only then removed at the source; a failed copy is removed again and the source stays.
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

// An item made before it is filled: the top item of a copy (a file or folder that is still empty
// and private to the owner, or the finished link), or an empty file that holds a name.
struct ReservedCopy {
    std::string source; // empty for a reserved name
    std::string path;
    mode_t kind = 0; // the S_IFMT bits of the source
    dev_t dev = 0;
    ino_t ino = 0;
};

// Holds the name dst with an empty file: DestinationExists when something is there.
MoveResult reserveName(const std::string& dst, ReservedCopy* reserved);

// Makes the top item of a copy of src (a link at src is copied as the link) under a hidden
// temporary name beside dst. A folder is never copied into itself, and only files, folders and
// links are copied.
MoveResult reserveCopyBeside(const std::string& src, const std::string& dst, ReservedCopy* reserved);

// Fills a reserved copy: contents (cloned where the file system can), modes and modification
// times. Links inside are copied as links and never entered; FIFOs, sockets and devices inside
// are left out. Stops with ECANCELED once *cancelled is set. A failed copy is removed again.
MoveResult fillCopy(const ReservedCopy& reserved, const std::atomic<bool>* cancelled);

// Removes a reserved item with everything in it, if it is still the item that was reserved.
bool removeCopy(const ReservedCopy& reserved, FileError* error);

// Puts the item at `incoming` (beside dst) at dst in place of what is there. The old item goes
// only once the new one is in place (its removal failing shows as oldItemError); on failure
// both stay where they were.
MoveResult replaceItem(const std::string& incoming, const std::string& dst);

// Puts the item at `incoming` at a reserved name, in place of the reservation only: an item that
// took the name meanwhile stays (EEXIST).
MoveResult replaceReservation(const std::string& incoming, const ReservedCopy& name);

// Makes every copy of this process, moves across file systems included, stop at its next piece
// with ECANCELED (the process is ending), or lets them run again.
void stopEveryCopy(bool stop = true);

// Test hook: called on the copying thread before each item that fillCopy or a move across file
// systems copies.
void setFillCopyObserver(std::function<void(const std::string& sourcePath)> observer);

// What replacing the item at dst by src would do. The items are judged by identity (device and
// inode), with the folders on their way resolved, so other names for them (links, bind mounts) are
// seen through.
enum class Replacing {
    Allowed,  // nothing at dst, or an item that is neither src nor holds it
    SameItem, // dst is src itself: there is nothing to replace
    Refused,  // dst holds src, or src is a link that leads to dst or into it: replacing loses it
};
Replacing judgeReplacing(const std::string& src, const std::string& dst, FileError* why = nullptr);

// Whether item lies somewhere below folder, judged by where the two names really are (the folders
// on their way resolved, a link's own name not followed). item need not exist.
bool isItemInside(const std::string& item, const std::string& folder);

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
