#include "platform/console.h"

namespace brisko::pack {

namespace {

// Text waiting for its line's end is passed on once it grows to this many
// bytes all the same.
constexpr std::size_t kMostPending = 1 << 16;

}  // namespace

std::size_t WholeCharacters(std::string_view text) {
  // A sequence's lead byte is at most three bytes before the end.
  for (std::size_t back = 1; back <= 4 && back <= text.size(); ++back) {
    const unsigned char b = static_cast<unsigned char>(text[text.size() - back]);
    if ((b & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
    return length > back ? text.size() - back : text.size();
  }
  return text.size();
}

TextStream::TextStream(StandardStream stream) : std::ostream(nullptr), buffer_(stream) { rdbuf(&buffer_); }

TextStream::~TextStream() { flush(); }

TextStream::Buffer::int_type TextStream::Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::streamsize TextStream::Buffer::xsputn(const char* text, std::streamsize size) {
  pending_.append(text, static_cast<std::size_t>(size));
  const bool line = std::string_view(text, static_cast<std::size_t>(size)).find('\n') != std::string_view::npos;
  if ((line || pending_.size() >= kMostPending) && !Pass(false)) return 0;
  return size;
}

int TextStream::Buffer::sync() { return Pass(true) ? 0 : -1; }

bool TextStream::Buffer::Pass(bool all) {
  std::size_t end = pending_.size();
  if (!all) {
    const std::size_t line = pending_.rfind('\n');
    end = line != std::string::npos ? line + 1 : WholeCharacters(pending_);
  }
  if (end == 0) return true;
  const bool written = WriteText(stream_, std::string_view(pending_).substr(0, end));
  pending_.erase(0, end);
  return written;
}

}  // namespace brisko::pack
