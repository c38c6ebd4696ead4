// The sample patches of the demo prefix: what each one holds and where it lies, and writing them
// as GOB archives or packed in the sample ZIP archive; with the file helpers the demo prefix
// maker shares. Every write throws Exception (or the platform's errors) when it fails.
#pragma once

#include <string>
#include <vector>

namespace dravik::demo {

enum TPlace { plInactive, plActive, plDownloads, plRepository };

struct TSampleMember {
  const char* Name; // stored path, "\" between folders
  const char* Text; // its contents; empty: made up from the name
};

struct TSample {
  int Game; // catalogue position
  TPlace Place;
  const char* File;
  const char* Name;
  const char* Type;
  const char* Description;
  const char* Author;
  std::vector<TSampleMember> Members;
  const char* Date = ""; // repository samples: the date the page gives
};

// Every sample patch but those inside the ZIP archive.
const std::vector<TSample>& Samples();

// The sample ZIP archive's file name ("saberpack.zip").
extern const char* const kZipName;

// Writes the sample at `winPath` unless the user still has it somewhere (at `winPath` or any
// of `alsoAt`: both store folders count, so a patch the user switched on or off stays where it
// is). True when it was written.
bool PutSample(const std::string& winPath, const std::vector<std::string>& alsoAt,
               const TSample& sample);
// Writes the sample ZIP archive at `winPath`: two patches and a read-me in a folder.
void WriteZip(const std::string& winPath);

// Makes every missing level of a Windows folder path ("C:\a\b\").
void MakeFolders(const std::string& winPath);
// Writes `text` as the file, atomically.
void WriteText(const std::string& winPath, const std::string& text);

} // namespace dravik::demo
