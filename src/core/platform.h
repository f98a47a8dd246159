// The platform services the installer's behaviour uses. The Windows layer
// implements them with the wide Win32 calls, converting texts from and to
// code page 932; unit tests use fakes.
#pragma once

#include <string_view>

#include "text.h"

namespace brisko {

// Resources of the running executable.
class Resources {
 public:
  virtual ~Resources() = default;
  // The bytes of resource `name` of type `type`, valid and unchanged for the
  // life of the process. Throws ResourceNotFound(name) when it is absent.
  virtual std::string_view Open(const Text& type, const Text& name) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // True when `path` names an existing file that is not a folder.
  virtual bool FileExists(const Text& path) = 0;
  // Creates `path` or replaces it whole with `bytes`. Returns false on any
  // failure, and then leaves an existing destination exactly as it was: the
  // bytes go to a temporary file in the same folder first and replace the
  // destination only once completely written. Creates no folder.
  virtual bool WriteWholeFile(const Text& path, std::string_view bytes) = 0;
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
