#include "zipwriter.h"

#include "platform/sysutils.h"

#include <array>

namespace dravik {

namespace {

// 17 May 2003, 12:00:00 in MS-DOS form.
constexpr uint16_t kDosTime = 12 << 11;
constexpr uint16_t kDosDate = ((2003 - 1980) << 9) | (5 << 5) | 17;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// CRC-32 as ZIP archives use it.
uint32_t Crc32(const uint8_t* data, size_t size) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i)
    crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

} // namespace

std::vector<uint8_t> MakeStoredZip(const TZipMembers& members) {
  if (members.size() > 0xFFFF) throw Exception("Too many members for a ZIP archive");
  std::vector<uint8_t> out, central;
  for (const auto& [name, data] : members) {
    if (name.size() > 0xFFFF) throw Exception(Format("Name too long for a ZIP archive: %s", name));
    if (out.size() + data.size() + name.size() + 30 > 0xFFFFFFFFu)
      throw Exception("ZIP archive larger than 4 GiB");
    const uint32_t crc = Crc32(data.data(), data.size());
    const uint32_t offset = uint32_t(out.size());
    const uint32_t size = uint32_t(data.size());
    // Local header, then the data.
    Put32(out, 0x04034B50);
    Put16(out, 20); // version needed: 2.0
    Put16(out, 0);  // flags
    Put16(out, 0);  // stored
    Put16(out, kDosTime);
    Put16(out, kDosDate);
    Put32(out, crc);
    Put32(out, size);
    Put32(out, size);
    Put16(out, uint32_t(name.size()));
    Put16(out, 0);
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), data.begin(), data.end());
    // Its central directory record.
    Put32(central, 0x02014B50);
    Put16(central, 20); // made by: MS-DOS, 2.0
    Put16(central, 20);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, kDosTime);
    Put16(central, kDosDate);
    Put32(central, crc);
    Put32(central, size);
    Put32(central, size);
    Put16(central, uint32_t(name.size()));
    Put16(central, 0); // extra
    Put16(central, 0); // comment
    Put16(central, 0); // disk
    Put16(central, 0); // internal attributes
    Put32(central, 0); // external attributes
    Put32(central, offset);
    central.insert(central.end(), name.begin(), name.end());
  }
  if (out.size() + central.size() + 22 > 0xFFFFFFFFu)
    throw Exception("ZIP archive larger than 4 GiB");
  const uint32_t centralOffset = uint32_t(out.size());
  out.insert(out.end(), central.begin(), central.end());
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, uint32_t(members.size()));
  Put16(out, uint32_t(members.size()));
  Put32(out, uint32_t(central.size()));
  Put32(out, centralOffset);
  Put16(out, 0);
  return out;
}

} // namespace dravik
