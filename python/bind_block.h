// A block from Python: the client side (inputs, the database, the chunks of pairs, writing
// the finished pairs) and the worker side (orienting a chunk) of a block run on a cluster.
//
// The Python API it binds into relative_orientation._core (the Dask driver in
// relative_orientation/block.py is written against exactly this):
//
//   parse_block_command(argv: list[str]) -> BlockCommand
//       orient-block's run options (--db, KEY..., --list, --camera, --cameras, --pairs,
//       --shard, --ratio, --mutual, --seed, --sigma, --threshold, --confidence, --quiet), with
//       the same checks and wording, plus --scheduler tcp://HOST:PORT, --ship-keys,
//       --workers N (local cluster; default one per core) and --chunk-pairs N (default: automatic).
//       Help and usage name "python3 -m relative_orientation block".
//   BlockCommand: run (bool; False: exit at once with status, printing out and err), status,
//       out, err, database, scheduler ("" none), ship_keys, workers (0: one per core),
//       chunk_pairs (0: automatic), quiet.
//
//   BlockClient(command)      reads the inputs, opens the database, checks the settings,
//       registers the photographs and finds the pairs still to do, exactly as orient-block
//       does (its messages on standard error unless quiet). Raises InputError or StoreError
//       (both RuntimeError) with orient-block's message.
//     .selected, .already_done, .todo          pair counts
//     .key_files -> list[str]                  photograph k's key file as given
//     .chunks(pairs_per_chunk) -> list[Chunk]  the pairs still to do, grouped by photograph
//     .start_progress()                        the progress display of orient-block
//     .write(record: bytes)                    one finished pair (from orient_chunk) into the
//         database, one transaction; advances the progress display
//     .finish(seconds: float, interrupted: bool) -> str   ends the display; the summary text
//   Chunk (picklable plain data): task (bytes: what a worker needs besides key file
//       contents), photographs (list[int], indices of key_files), pairs (int).
//
//   orient_chunk(task: bytes, keys: dict[int, bytes] | None = None) -> list[bytes]
//       The worker side: orients every pair of the chunk as orient-block does, reading each
//       key file once (from its path, or from `keys` when the client shipped the contents),
//       with the GIL released; one record per pair for BlockClient.write. Raises InputError
//       naming the key file that could not be used.
//
//   block_chunk_pairs(todo: int, workers: int) -> int
//       A chunk size for the automatic case: about eight chunks per worker, 1 to 64 pairs.
//
// Messages (and the progress line) start with "python3 -m relative_orientation block: ".
#pragma once

#include <pybind11/pybind11.h>

namespace relative_orientation_python {

void BindBlock(pybind11::module_& module);

}  // namespace relative_orientation_python
