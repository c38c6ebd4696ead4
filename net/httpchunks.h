// The decoder of HTTP's chunked transfer coding: chunk sizes in hexadecimal (extensions
// skipped), the data, and the trailer lines after the last, empty chunk. It takes the body in
// pieces as they arrive and never reads beyond what it is given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravik {

class THttpChunkDecoder {
public:
  // Decodes the next piece of the body, appending the data to `output`. Returns how many
  // bytes of `input` it used: all of them, unless the body ended inside it (what follows the
  // end is not the body's). Throws ESockError "Invalid chunked encoding" for malformed input.
  size_t Feed(std::string_view input, std::string& output);
  // The last chunk and the trailer have been read.
  bool Done() const noexcept { return FState == sDone; }

  static constexpr size_t MaxLineLength = 4096;   // a size line with its extensions
  static constexpr size_t MaxTrailerSize = 65536; // all trailer lines together

private:
  enum TState { sSize, sExtension, sSizeEnd, sData, sDataCR, sDataLF, sTrailer, sDone };
  [[noreturn]] static void Fail();
  TState FState = sSize;
  uint64_t FRemaining = 0; // of the chunk's data
  int FDigits = 0;
  size_t FLine = 0; // length of the size line or trailer line so far
  size_t FTrailer = 0;
};

} // namespace dravik
