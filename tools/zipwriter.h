// A small ZIP writer for sample archives: members stored without compression, names in "/"
// form, one fixed date. Enough for every ZIP reader; used by the demo prefix maker.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dravik {

// (name inside the archive with "/" between folders, ASCII; bytes)
using TZipMembers = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// The bytes of an archive holding `members` in the given order. Throws Exception for a name
// longer than 65535 bytes or an archive that would pass 4 GiB.
std::vector<uint8_t> MakeStoredZip(const TZipMembers& members);

} // namespace dravik
