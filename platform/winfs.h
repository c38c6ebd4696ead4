// The file system as the program sees it: Windows paths ("C:\Games\Hx\HXPatch\x.gob") in,
// Linux operations out. Drive letters come from the prefix's dosdevices/ links; each path
// component is found without regard to letter case (the exact name first, else the first
// case-insensitive match in name order); a component that does not exist keeps its spelling.
// A relative path is relative to the process's current folder.
//
// Every operation that can fail returns false (or an empty result) and records the failure:
// `GetLastError()` gives its Windows error code, `LastErrorText()` the system's text for it.
// Calls block on file I/O only.
//
// This header gathers the parts: the last error, path mapping, file and folder operations,
// listing, and the temporary folder.
#pragma once

#include "fileops.h"
#include "findfiles.h"
#include "lasterror.h"
#include "pathmap.h"
#include "tempfolder.h"
