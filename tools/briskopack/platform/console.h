// The program's arguments and its standard output and error, in UTF-8
// whatever the system's code pages: every text the packer prints goes
// through WriteText (console_posix.cpp, console_win.cpp).
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace brisko::pack {

enum class StandardStream { Output, Error };

// Writes UTF-8 text to the standard output or error: on a Windows console
// as UTF-16 with WriteConsoleW, so that every character shows whatever the
// console's code page; redirected to a file or a pipe, and on POSIX
// systems, as the UTF-8 bytes. False when writing fails.
bool WriteText(StandardStream stream, std::string_view utf8);

// The program's arguments as UTF-8, its name left out: on Windows read from
// the UTF-16 command line, so that a path with characters beyond the ANSI
// code page goes through; on POSIX systems argv as it is.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// A text from the C library or the system (an error's description) in
// UTF-8: on Windows converted from the ANSI code page.
std::string SystemText(std::string text);

// The longest start of `text` that cuts no UTF-8 sequence apart.
std::size_t WholeCharacters(std::string_view text);

// An output stream whose text reaches WriteText a line at a time, never with
// a UTF-8 sequence cut apart.
class TextStream final : public std::ostream {
 public:
  explicit TextStream(StandardStream stream);
  ~TextStream() override;

 private:
  class Buffer final : public std::streambuf {
   public:
    explicit Buffer(StandardStream stream) : stream_(stream) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize size) override;
    int sync() override;

   private:
    // Passes on the pending text up to its last line's end, or all of it.
    bool Pass(bool all);

    StandardStream stream_;
    std::string pending_;
  };

  Buffer buffer_;
};

}  // namespace brisko::pack
