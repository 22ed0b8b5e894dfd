#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// A file that could not be made, written or put in place, with the system's
// reason in the text.
class FileWriteError : public std::runtime_error {
public:
    FileWriteError(const std::string& text, std::string reason)
        : std::runtime_error(text), reason_(std::move(reason)) {}
    // The system's reason alone, such as "No space left on device".
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

// The error `what` ("Cannot write file") of the file `name` with the system's
// reason for `error`: Cannot write file "name". No space left on device
FileWriteError FileFailure(const char* what, const std::string& name, int error);

// Where a finished file goes when its name is already taken.
enum class Placement {
    Replace,       // the user chose the name and confirmed (Save As, the editor)
    KeepExisting,  // automatic saves: another program's file is never replaced
};

// The one way every file of the program reaches the disk. The bytes go to a
// temporary file in the target's folder, which only gets its name once it is
// complete and on the disk; the folder is synced after, so a power cut never
// takes the new name back while the journal behind it is already gone.
//
// The temporary file is made with mode 0666 for the kernel to apply the
// umask (no process-wide umask juggling from a writer thread), unless the
// file it replaces hands on its mode; it is locked
// with flock for as long as this object lives: a program starting beside it
// removes only temporary files whose lock is free, those of a writer that
// was killed.
class DurableFile {
public:
    // `shownName` names the file in error texts (the target as the user
    // knows it); `mode`, when given, replaces the permissions the umask
    // leaves. Throws FileWriteError.
    DurableFile(const std::string& folder, std::string shownName,
                std::optional<mode_t> mode = std::nullopt);
    // A temporary file not put in place is removed.
    ~DurableFile();
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;

    // Throws FileWriteError.
    void write(std::string_view bytes);
    // Pushes the bytes to the disk. Throws FileWriteError.
    void finish();
    // Gives the finished file its name (or, once placed, moves it on to
    // another). With KeepExisting it answers false, and changes nothing,
    // when the name is taken. Does not sync the folder. Throws
    // FileWriteError for any other failure.
    bool place(const std::string& path, Placement placement);
    // Takes a placed file's name away again.
    void unplace();

    // The file's identity, which stays with it through renames.
    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }
    const std::string& path() const { return path_; }
    std::uint64_t size() const { return size_; }

private:
    [[noreturn]] void fail(const char* what, int error) const;

    std::string shownName_;
    std::string path_;  // the temporary name until placed
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::uint64_t size_ = 0;
    bool placed_ = false;
    bool unplaced_ = false;
};

// Writes `bytes` to `fd` whole, taking each written piece off its front.
// Gives 0, or the system's error for what is left (EIO for a write that
// takes nothing).
int WriteAll(int fd, std::string_view& bytes);

// The folder of a path: "." for a bare name.
std::string FolderOf(const std::string& path);

// The name a save to `path` really replaces: symbolic links at its end are
// followed, so that a link stays a link and its target gets the new bytes.
// The name may not exist yet. Throws FileWriteError naming `shownName`.
std::string FollowLinks(const std::string& path, const std::string& shownName);

// A DurableFile to take the place of `target` (a name through FollowLinks)
// with Placement::Replace: it keeps an existing file's permissions, and a
// folder, or a file the user may not write, is refused rather than replaced
// behind their back. Throws FileWriteError naming `shownName`.
std::unique_ptr<DurableFile> ReplacementFor(const std::string& target,
                                            const std::string& shownName);

// Saves `pieces` as the whole file `path`, a name the user chose and
// confirmed, through FollowLinks and ReplacementFor. The folder is synced. Throws FileWriteError naming `shownName`.
void SaveWholeFile(const std::string& path, const std::string& shownName,
                   const std::vector<std::string_view>& pieces);

// Renames `from` to `to` unless `to` exists: false then, and nothing moved.
// Throws FileWriteError for other failures.
bool MoveWithoutReplacing(const std::string& from, const std::string& to);

// Pushes a folder's entries (new names, removed names) to the disk. Throws
// FileWriteError.
void SyncFolder(const std::string& folder);

// Whether `folder` holds a file named `*<extension>` with this identity.
bool FolderHolds(const std::string& folder, std::string_view extension, dev_t device, ino_t inode);

// Removes the temporary files that writers killed in the middle left in
// `folder`; a running writer's file is locked and stays.
void RemoveLeftTemporaries(const std::string& folder);

// Test builds stop a process at these moments to prove that a kill there
// loses nothing and saves nothing twice; the program itself never sets a
// hook.
enum class FaultPoint {
    HexPlaced,         // a save's .hex has its name, its .txt not yet
    TextPlaced,        // both files of a save have their names
    BeforeRelease,     // saved; the journal segments not yet released
    RecoveryMidway,    // a recovery has read part of a journal
};
using FaultHook = void (*)(FaultPoint);
void SetFaultHook(FaultHook hook);
void ReachFaultPoint(FaultPoint point);

}  // namespace zelvar
