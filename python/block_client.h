// The client side of a block run on a cluster: the inputs read, the database opened and the
// photographs registered as orient-block does, the pairs still to do cut into chunks grouped
// by photograph, and the finished pairs written, each in a transaction of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "block/plan.h"
#include "block/runner.h"
#include "block/store.h"
#include "common/progress.h"
#include "python/block_command.h"

namespace relative_orientation_python {

struct Chunk {
    std::string task;              // block::EncodeChunk's bytes
    std::vector<int> photographs;  // the photographs it needs, ascending
    std::size_t pairs = 0;
};

// Pairs per chunk for `todo` pairs on `workers` workers: about eight chunks per worker, so
// that the last ones leave few idle and a lost worker costs little, from 1 to 64 pairs.
std::size_t BlockChunkPairs(std::size_t todo, std::size_t workers);

class BlockClient {
  public:
    // Throws block::InputError and block::StoreError with orient-block's messages.
    explicit BlockClient(const BlockCommand& command);

    std::size_t Selected() const { return start_.plan.pairs.size(); }
    std::size_t AlreadyDone() const { return start_.already_done; }
    std::size_t Todo() const { return start_.todo.size(); }
    const std::vector<std::string>& KeyFiles() const { return request_.key_files; }

    // The pairs still to do in an order that reuses key files, cut into chunks of
    // `pairs_per_chunk` (at least 1) pairs.
    std::vector<Chunk> Chunks(std::size_t pairs_per_chunk) const;

    void StartProgress();
    // One finished pair (block::EncodePair's bytes); throws block::WireError for bytes that
    // are not a pair of this block and block::StoreError when the database refuses it.
    void Write(const std::uint8_t* bytes, std::size_t size);
    // Ends the progress display; the summary of orient-block.
    std::string Finish(double seconds, bool interrupted);

  private:
    block::BlockRequest request_;
    std::unique_ptr<block::BlockStore> store_;
    block::BlockStart start_;
    block::BlockReport report_;
    std::unique_ptr<common::ProgressDisplay> progress_;
};

}  // namespace relative_orientation_python
