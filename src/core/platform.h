// The platform services the installer's behaviour uses. The Windows layer
// implements them with the wide Win32 calls, converting texts from and to
// code page 932; unit tests use fakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "core/text/text.h"

namespace brisko {

class PayloadReader;

// Resources of the running executable.
class Resources {
 public:
  virtual ~Resources() = default;
  // The bytes of resource `name` of type `type`, valid and unchanged for the
  // life of the process; nothing when there is no such resource, or when it
  // is there but cannot be loaded.
  virtual std::optional<std::string_view> Find(const Text& type, const Text& name) = 0;
};

// The bytes a long piece of work has done so far.
class Progress {
 public:
  virtual ~Progress() = default;
  // Adds `bytes`; may be called on another thread than the window's.
  virtual void Add(std::uint64_t bytes) = 0;
};

// A file opened for reading at any offset.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  // The file's size when it was opened.
  virtual std::uint64_t size() const = 0;
  // Reads up to `size` bytes at `offset` into `data` and sets `got` to the
  // count read, fewer than asked only at the file's end. False when the
  // system reports a failure.
  virtual bool ReadAt(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) = 0;
};

// What stands at a destination before anything is written over it.
enum class DestinationState {
  Missing,        // no such file; its folder is there
  Replaceable,    // a file that the new one can take the place of
  FolderMissing,  // its folder is not there (the installer makes none)
  ReadOnly,       // a file marked read-only
  InUse,          // a file another program holds in a way that stops a replace
  Refused,        // anything else: a folder of that name, a hidden or system file, no permission
};

// A destination's new content, written whole into a file of its own beside
// it and checked, waiting to be put in place. Destroying it removes what is
// left of its files: the staged file while it has not been put in place,
// and the destination's former content once it is no longer needed.
class StagedFile {
 public:
  virtual ~StagedFile() = default;
  // Puts the new content in the destination's place; the former content (if
  // any) is kept aside until this object ends, so that Restore can put it
  // back. False when it could not, with the destination as it was.
  virtual bool Commit() = 0;
  // After a Commit: puts the former content back, or removes the new file
  // where there was none. False when it could not.
  virtual bool Restore() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // True when `path` names an existing file that is not a folder.
  virtual bool FileExists(const Text& path) = 0;
  // Creates `path` or replaces it whole with the bytes that `reader` gives,
  // adding each piece written to `progress`: Examine, Stage and Commit in
  // one. Returns false on any failure, the reader's finding its bytes
  // damaged included, and then leaves an existing destination exactly as it
  // was: the bytes go to a file in the same folder first and replace the
  // destination only once completely written and checked. Creates no folder.
  bool WriteWholeFile(const Text& path, PayloadReader& reader, Progress& progress);
  // The same with `bytes`, reported nowhere.
  bool WriteWholeFile(const Text& path, std::string_view bytes);
  // Opens `path` for reading at any offset, sharing it with readers and
  // with the writing that replaces it. Sets `file` to null when there is no
  // such file. False when it is there but cannot be read (a folder, a file
  // that another program holds without sharing, no permission).
  virtual bool OpenForReading(const Text& path, std::unique_ptr<RandomAccessFile>& file) = 0;

  // --- the staged apply: every entry staged first, then put in place ---

  // Whether `path` can be replaced or created, probed with the access that a
  // replace needs; changes nothing.
  virtual DestinationState Examine(const Text& path) = 0;
  // The bytes free for staging files in `folder`, and a name of the volume
  // it lies on, the same for every folder of one volume. False when the
  // system cannot tell.
  virtual bool FreeSpace(const Text& folder, std::uint64_t& bytes, Text& volume) = 0;
  // Writes what `reader` gives into a new file beside `path`, adding each
  // piece to `progress`, and flushes it to the disk. False on any failure,
  // the reader's finding its bytes damaged included, with nothing left.
  virtual bool Stage(const Text& path, PayloadReader& reader, Progress& progress,
                     std::unique_ptr<StagedFile>& staged) = 0;
  // Puts back the former content of each of `paths` where an interrupted run
  // had put it aside and left that path missing; then removes, in their
  // folders, the files that such a run left behind. Everything is put back
  // before anything is removed: a folder holds the former content of all its
  // destinations side by side. Best effort: what cannot be removed stays.
  virtual void Recover(const StringList& paths) = 0;
};

// Runs long work so that the window stays alive meanwhile.
class Worker {
 public:
  class Job {
   public:
    virtual ~Job() = default;
    // The work, away from the window's thread; its result is Run's.
    virtual bool Run(Progress& progress) = 0;
    // On the window's thread, now and then while the work runs and once
    // after it has ended: the bytes it has added to its progress.
    virtual void Advanced(std::uint64_t done) = 0;
  };

  virtual ~Worker() = default;
  // Runs `job` to its end. Meanwhile the window paints and answers the
  // system; input reaches it, and the form ignores it while it is busy.
  virtual bool Run(Job& job) = 0;
  // Called on the window's thread from within Run (while it dispatches a
  // message): returns once the job has ended.
  virtual void WaitForEnd() = 0;
};

// Modal dialogs owned by the main window.
class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // A message box with an OK button, centred on the screen, captioned with
  // the application title.
  virtual void ShowMessage(const Text& text) = 0;
  // The exception report: like ShowMessage with an error icon. `text` is
  // shown as given (ExceptionReportText has been applied).
  virtual void ShowError(const Text& text) = 0;
  // The shell's folder chooser with `prompt`, preselecting `initialFolder`
  // when the shell can parse it. The chosen folder's path (no trailing
  // delimiter except a drive root's), or empty when cancelled or when the
  // choice has no file-system path.
  virtual Text SelectFolder(const Text& prompt, const Text& initialFolder) = 0;
};

}  // namespace brisko
