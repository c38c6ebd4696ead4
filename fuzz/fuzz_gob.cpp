// GOB archives: the directory reader and ReadGOB on any bytes, then WriteGOB of the members read
// and ReadGOB again, which must give the same members.
#include "fuzzsupport.h"
#include "gob/gobformat.h"
#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/sysutils.h"

using namespace dravik;
using namespace dravik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzPrefix& prefix = TFuzzPrefix::Get();
  const std::string in = TFuzzPrefix::WinC("in.gob");
  WriteHostFile(prefix.HostC("in.gob"), data, size);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  {
    TFileStream file(in, fmOpenRead);
    const std::vector<TGOBEntry> entries = ReadGOBDirectory(file);
    Check(size >= GOB_HEADER_SIZE || entries.empty(), "entries from a file without a header");
    Check(entries.size() <=
              (size < GOB_HEADER_SIZE ? 0 : (size - GOB_HEADER_SIZE) / GOB_ENTRY_SIZE),
          "more entries than the file holds");
    for (const TGOBEntry& e : entries) {
      Check(IsValidUtf8(e.Name), "a stored name read as bad UTF-8");
      if (!e.DataFits(int64_t(size))) continue;
      const std::vector<uint8_t> member = ReadGOBData(file, e);
      Check(member.size() == size_t(e.Length), "ReadGOBData gave another length");
    }
  }

  std::vector<TGOBMember> members = ReadGOB(in);
  TGOBWriteList list;
  bool writable = true;
  for (const TGOBMember& m : members) {
    const TGOBThing& t = *m.Thing;
    Check(t.Data.size() == size_t(t.Length), "a member's data is not its length");
    // An empty member is kept wherever its offset points; any other lies inside the file.
    if (t.Length != 0) {
      Check(t.Offset >= 0 && t.Length > 0 && size_t(t.Offset) + size_t(t.Length) <= size,
            "a member outside the file");
      Check(bytes.substr(size_t(t.Offset), size_t(t.Length)) ==
                std::string_view(reinterpret_cast<const char*>(t.Data.data()), t.Data.size()),
            "a member's data is not the file's bytes");
    }
    Check(m.FullName.ends_with(t.Name) && t.Name == ExtractFileName(m.FullName),
          "a member's name is not the end of its path");
    std::optional<std::string> stored = Utf8ToCp1252(m.FullName);
    Check(stored.has_value(), "a read name cannot be written back: " + m.FullName);
    if (stored->size() > size_t(GOB_MAX_NAME)) writable = false;
    list.push_back({m.FullName.substr(0, m.FullName.size() - t.Name.size()), m.Thing.get()});
  }
  if (!writable) return 0; // a 128-byte name fills its field: WriteGOB refuses it

  const std::string out = TFuzzPrefix::WinC("out.gob");
  WriteGOB(out, list);
  std::vector<TGOBMember> again = ReadGOB(out);
  Check(again.size() == members.size(), "WriteGOB then ReadGOB: another member count");
  for (size_t i = 0; i < again.size(); ++i) {
    Check(again[i].FullName == members[i].FullName, "WriteGOB then ReadGOB: another name");
    Check(again[i].Thing->Data == members[i].Thing->Data, "WriteGOB then ReadGOB: other data");
    Check(again[i].Thing->Offset == members[i].Thing->Offset,
          "WriteGOB placed a member elsewhere than it said");
  }
  return 0;
}
