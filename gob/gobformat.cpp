#include "gobformat.h"

#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/sysutils.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace dravik {

static int32_t GetInt32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                              (uint32_t(p[3]) << 24));
}

static void PutInt32(uint8_t* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  p[0] = uint8_t(u);
  p[1] = uint8_t(u >> 8);
  p[2] = uint8_t(u >> 16);
  p[3] = uint8_t(u >> 24);
}

bool HasGOBSignature(TFileStream& file) {
  char signature[4];
  file.Seek(0);
  return file.Read(signature, 4) == 4 && std::memcmp(signature, "GOB ", 4) == 0;
}

std::vector<TGOBEntry> ReadGOBDirectory(TFileStream& file) {
  std::vector<TGOBEntry> entries;
  ReadGOBDirectory(file, file.Size(), entries);
  return entries;
}

void ReadGOBDirectory(TFileStream& file, int64_t size, std::vector<TGOBEntry>& entries) {
  entries.clear();
  if (size < GOB_HEADER_SIZE) return;
  // The member count and, in the same read, the directory of an archive of up to 64 members;
  // a larger directory takes one more read. Every read is bounded by the file's size. The
  // buffer serves the thread's next archive too (one that grew large is given back).
  static thread_local std::vector<uint8_t> raw;
  const int64_t first = std::min<int64_t>(size - 12, 4 + 64 * GOB_ENTRY_SIZE);
  raw.resize(static_cast<size_t>(first));
  file.ReadBufferAt(12, raw.data(), first);
  int64_t count = GetInt32(raw.data());
  if (count <= 0) return;
  // Only entries that lie wholly inside the file are read.
  const int64_t fit = (size - GOB_HEADER_SIZE) / GOB_ENTRY_SIZE;
  if (count > fit) count = fit;
  const int64_t need = 4 + count * GOB_ENTRY_SIZE;
  if (need > first) {
    raw.resize(static_cast<size_t>(need));
    file.ReadBufferAt(12 + first, raw.data() + first, need - first);
  }
  entries.resize(static_cast<size_t>(count));
  for (size_t i = 0; i < entries.size(); ++i) {
    const uint8_t* entry = raw.data() + 4 + i * GOB_ENTRY_SIZE;
    TGOBEntry& e = entries[i];
    e.Offset = GetInt32(entry);
    e.Length = GetInt32(entry + 4);
    const char* name = reinterpret_cast<const char*>(entry + 8);
    e.Name = Cp1252ToUtf8(std::string_view(name, strnlen(name, GOB_NAME_SIZE)));
  }
  if (raw.capacity() > (size_t(1) << 20)) std::vector<uint8_t>().swap(raw);
}

std::vector<uint8_t> ReadGOBData(TFileStream& file, const TGOBEntry& entry) {
  std::vector<uint8_t> data(static_cast<size_t>(entry.Length));
  if (data.empty()) return data; // its offset may point anywhere
  file.ReadBufferAt(entry.Offset, data.data(), entry.Length);
  return data;
}

bool IsGOBDescriptor(std::string_view name) {
  if (!name.empty() && name[0] == '\\') name.remove_prefix(1);
  return SameText(name, GOB_DESCRIPTOR_NAME);
}

std::string GOBDescriptorText(const std::vector<uint8_t>& bytes) {
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return Cp1252ToUtf8(text.substr(0, text.find('\0')));
}

std::vector<TGOBMember> ReadGOB(std::string_view fileName) {
  TFileStream file(fileName, fmOpenRead);
  const int64_t size = file.Size();
  std::vector<TGOBMember> members;
  for (const TGOBEntry& e : ReadGOBDirectory(file)) {
    if (!e.DataFits(size)) continue;
    auto thing = std::make_unique<TGOBThing>();
    thing->Offset = e.Offset;
    thing->Length = e.Length;
    thing->Name = ExtractFileName(e.Name);
    try {
      thing->Data = ReadGOBData(file, e);
    } catch (const EReadError&) {
      continue; // the file shrank under us: skip the member
    }
    members.push_back({e.Name, std::move(thing)});
  }
  return members;
}

void WriteGOB(std::string_view fileName, const TGOBWriteList& members) {
  // Everything is checked before the first byte is written.
  const int64_t count = static_cast<int64_t>(members.size());
  int64_t dataStart = GOB_HEADER_SIZE + GOB_ENTRY_SIZE * count;
  int64_t total = dataStart;
  std::vector<std::string> storedNames;
  storedNames.reserve(members.size());
  for (const auto& [dir, thing] : members) {
    std::string full = dir + thing->Name;
    std::optional<std::string> stored = Utf8ToCp1252(full);
    if (!stored)
      throw Exception(Format("Cannot store %s in a GOB archive: its name has characters the "
                             "archive cannot hold",
                             full));
    if (stored->size() > GOB_MAX_NAME)
      throw Exception(Format("Cannot store %s in a GOB archive: its path is longer than %d "
                             "characters",
                             full, GOB_MAX_NAME));
    storedNames.push_back(std::move(*stored));
    total += static_cast<int64_t>(thing->Data.size());
  }
  if (total > std::numeric_limits<int32_t>::max())
    throw Exception("Cannot write a GOB archive larger than 2 GB");

  std::vector<uint8_t> directory(static_cast<size_t>(dataStart), 0);
  std::memcpy(directory.data(), "GOB ", 4);
  PutInt32(directory.data() + 4, 20);
  PutInt32(directory.data() + 8, 12);
  PutInt32(directory.data() + 12, static_cast<int32_t>(count));
  int64_t offset = dataStart;
  for (size_t i = 0; i < members.size(); ++i) {
    TGOBThing* thing = members[i].second;
    thing->Offset = static_cast<int32_t>(offset);
    thing->Length = static_cast<int32_t>(thing->Data.size());
    uint8_t* entry = directory.data() + GOB_HEADER_SIZE + GOB_ENTRY_SIZE * i;
    PutInt32(entry, thing->Offset);
    PutInt32(entry + 4, thing->Length);
    std::memcpy(entry + 8, storedNames[i].data(), storedNames[i].size());
    offset += thing->Length;
  }

  TSafeFileWriter out(fileName);
  out.WriteBuffer(directory.data(), static_cast<int64_t>(directory.size()));
  for (const auto& m : members)
    if (!m.second->Data.empty())
      out.WriteBuffer(m.second->Data.data(), static_cast<int64_t>(m.second->Data.size()));
  out.Commit();
}

} // namespace dravik
