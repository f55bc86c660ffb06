// Appending the deployment notes to a patch list file.
#pragma once

#include <cstdint>
#include <string>

#include "app/process.h"

namespace sp {

inline constexpr char16_t kDefaultPatchList[] = u"patchlist.txt";

// Appends one record per note ("TXT" #206, #207, ...) to the file at
// `patchListPath` ("patchlist.txt" when empty): five "*" and CR LF, the note, CR
// LF. A record is written whole or not at all. Returns 0 when every note was
// appended, else the Windows error code of the step that stopped it (1603 when
// that step left none).
std::uint32_t WritePatchList(Process& process, std::u16string& patchListPath);

}  // namespace sp
