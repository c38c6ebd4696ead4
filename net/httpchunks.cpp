#include "httpchunks.h"

#include "powersock.h"

#include <algorithm>

namespace dravik {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

} // namespace

void THttpChunkDecoder::Fail() {
  throw ESockError("Invalid chunked encoding");
}

size_t THttpChunkDecoder::Feed(std::string_view input, std::string& output) {
  size_t i = 0;
  while (i < input.size() && FState != sDone) {
    if (FState == sData) {
      const size_t take = size_t(std::min<uint64_t>(FRemaining, input.size() - i));
      output.append(input.substr(i, take));
      i += take;
      FRemaining -= take;
      if (FRemaining == 0) FState = sDataCR;
      continue;
    }
    const char c = input[i++];
    switch (FState) {
    case sSize:
      if (int v = HexValue(c); v >= 0) {
        if (++FDigits > 15) Fail(); // more than any file could hold
        FRemaining = FRemaining * 16 + uint64_t(v);
      } else if (FDigits == 0) {
        Fail();
      } else if (c == ';' || c == ' ' || c == '\t') {
        FState = sExtension;
      } else if (c == '\r') {
        FState = sSizeEnd;
      } else if (c == '\n') {
        --i;
        FState = sSizeEnd;
      } else {
        Fail();
      }
      break;
    case sExtension:
      if (++FLine > MaxLineLength) Fail();
      if (c == '\n') {
        --i;
        FState = sSizeEnd;
      }
      break;
    case sSizeEnd:
      if (c != '\n') Fail();
      FDigits = 0;
      FLine = 0;
      FState = FRemaining == 0 ? sTrailer : sData;
      break;
    case sDataCR:
      if (c == '\r')
        FState = sDataLF;
      else if (c == '\n')
        FState = sSize;
      else
        Fail();
      break;
    case sDataLF:
      if (c != '\n') Fail();
      FState = sSize;
      break;
    case sTrailer:
      if (++FTrailer > MaxTrailerSize) Fail();
      if (c == '\n') {
        if (FLine == 0) FState = sDone;
        FLine = 0;
      } else if (c != '\r') {
        ++FLine;
      }
      break;
    case sData:
    case sDone:
      break;
    }
  }
  return i;
}

} // namespace dravik
