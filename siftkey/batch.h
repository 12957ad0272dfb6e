// siftkey -o DIR PHOTO...: the key files (and camera files) of many photographs, detected
// in parallel, one photograph per thread, with the progress display.
#pragma once

#include <cstdio>

#include "siftkey/options.h"

namespace siftkey {

// Writes DIR/NAME.key (and with camera_beside DIR/NAME.cam) for every photograph of
// `options` whose files are missing or older than the photograph (every one with --force),
// making DIR when missing. Each is done as the single-photograph form does it, so the files
// are the same byte for byte; at most options.threads photographs (default: the cores) are
// decoded and detected at once, each detection on one thread. A failing photograph is
// reported on `err` and the others go on. Progress and summary go to `err`. Returns 0 when
// every photograph got its files, kFailureStatus otherwise. Never throws.
int RunSiftkeyBatch(const SiftkeyOptions& options, std::FILE* err);

}  // namespace siftkey
