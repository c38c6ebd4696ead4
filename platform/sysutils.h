// Run-time library pieces the rest of the program is written against: the exception
// hierarchy with the program's messages, text comparison, file-name splitting and
// printf-style message formatting. Qt-free.
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <type_traits>

namespace dravik {

// Base of every error the program raises on purpose. `Message()` is what the user sees.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

// "Cannot open file %s", a file outside the prefix's own drives by its Linux path
// (winfs::DisplayPath).
class EFOpenError : public Exception {
public:
  explicit EFOpenError(const std::string& fileName);
};

// "Cannot create file %s", named as EFOpenError names it.
class EFCreateError : public Exception {
public:
  explicit EFCreateError(const std::string& fileName);
};

// "Stream read error" / "Stream write error": a short read or write on an open file.
class EReadError : public Exception {
public:
  EReadError() : Exception("Stream read error") {}
  using Exception::Exception;
};
class EWriteError : public Exception {
public:
  EWriteError() : Exception("Stream write error") {}
  using Exception::Exception;
};

// The run-time library's input/output error, carrying a Windows error code:
// 3 "Invalid filename", 5 "File access denied", others "I/O error %d".
class EInOutError : public Exception {
public:
  explicit EInOutError(int errorCode);
  int ErrorCode() const noexcept { return FErrorCode; }

private:
  int FErrorCode;
};

// Settings store failures: "Invalid data type for '%s'", "Failed to set data for '%s'", ...
class ERegistryException : public Exception {
public:
  using Exception::Exception;
};

class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// "List index out of bounds (%d)"
class EStringListError : public Exception {
public:
  using Exception::Exception;
};

// Compares two texts character code by character code after folding only a..z to A..Z.
// No locale rules; a prefix sorts first. Returns <0, 0 or >0.
int CompareText(std::string_view a, std::string_view b) noexcept;
bool SameText(std::string_view a, std::string_view b) noexcept;

// Case changes of the letters a..z / A..Z only; other bytes stay as they are.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

std::string Trim(std::string_view s);

// Splits a Windows path after its last "\" or ":".
std::string ExtractFileName(std::string_view path);
std::string ExtractFilePath(std::string_view path);
// The extension with its dot, taken from the file-name part ("" when there is none).
std::string ExtractFileExt(std::string_view path);

// Decimal text to number; `def` when the text is not a whole decimal number in range.
int StrToIntDef(std::string_view s, int def) noexcept;
std::string IntToStr(long long value);

// Replaces %XX escapes by the bytes they stand for (the result need not be UTF-8: Linux names
// are bytes); malformed escapes stay as they are.
std::string PercentDecode(std::string_view s);

// Windows-style wildcard match ("*" any run, "?" one character), letter case (a..z) ignored,
// over the whole text.
bool MatchesMask(std::string_view text, std::string_view mask) noexcept;

namespace detail {
// The wildcard match behind MatchesMask, over any character type: "*" any run, "?" one
// character, other characters alike when `same(maskChar, textChar)`; backtracks to the last "*".
template <typename TChar, typename TSame>
bool WildcardMatch(std::basic_string_view<TChar> text, std::basic_string_view<TChar> mask,
                   TSame same) noexcept {
  size_t t = 0, m = 0, starM = mask.npos, starT = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == TChar('*')) {
      starM = m++;
      starT = t;
    } else if (m < mask.size() && (mask[m] == TChar('?') || same(mask[m], text[t]))) {
      ++m;
      ++t;
    } else if (starM != mask.npos) {
      m = starM + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == TChar('*'))
    ++m;
  return m == mask.size();
}

template <typename T> auto FormatArg(const T& v) {
  static_assert(!std::is_same_v<T, std::string_view>, "pass std::string, not std::string_view");
  if constexpr (std::is_same_v<T, std::string>)
    return v.c_str();
  else
    return v;
}
} // namespace detail

// printf-style formatting that also takes std::string for "%s".
template <typename... Args> std::string Format(const char* fmt, const Args&... args) {
  int n = std::snprintf(nullptr, 0, fmt, detail::FormatArg(args)...);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), fmt, detail::FormatArg(args)...);
  out.resize(static_cast<size_t>(n));
  return out;
}

} // namespace dravik
