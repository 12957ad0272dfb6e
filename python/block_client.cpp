#include "python/block_client.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

#include "block/pairing.h"
#include "block/wire.h"
#include "common/thread_pool.h"

namespace relative_orientation_python {
namespace {

constexpr std::size_t kChunksPerWorker = 8;
constexpr std::size_t kMaxChunkPairs = 64;

// The path a worker reads a key file at; as given when it cannot be made absolute.
std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

}  // namespace

std::size_t BlockChunkPairs(std::size_t todo, std::size_t workers) {
    const std::size_t chunks = kChunksPerWorker * std::max<std::size_t>(1, workers);
    return std::clamp<std::size_t>((todo + chunks - 1) / chunks, 1, kMaxChunkPairs);
}

BlockClient::BlockClient(const BlockCommand& command) : request_(command.request) {
    request_.threads = common::HardwareThreads();  // for hashing new key files
    block::AddListedKeyFiles(request_, command.key_list);
    block::Plan plan = block::MakePlan(request_);
    store_ = std::make_unique<block::BlockStore>(request_.database);
    start_ = block::StartBlock(request_, std::move(plan), *store_, stderr,
                               std::string(kBlockProgram) + ": ");
    report_.names = start_.plan.names;
    report_.selected = start_.plan.pairs.size();
    report_.already_done = start_.already_done;
}

std::vector<Chunk> BlockClient::Chunks(std::size_t pairs_per_chunk) const {
    pairs_per_chunk = std::max<std::size_t>(1, pairs_per_chunk);
    // Tiles of the pair matrix about as many pairs as a chunk: a chunk then needs the key
    // files of at most two tiles' photographs, about 4 sqrt(pairs_per_chunk) of them.
    const int group = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(pairs_per_chunk))));
    const int photographs = static_cast<int>(start_.plan.names.size());
    const std::vector<block::PhotoPair> order =
        block::RunOrder(start_.todo, photographs, 2 * group);
    std::vector<Chunk> chunks;
    for (std::size_t first = 0; first < order.size(); first += pairs_per_chunk) {
        const std::size_t last = std::min(order.size(), first + pairs_per_chunk);
        block::ChunkTask task;
        task.settings = request_.settings;
        std::set<int> used;
        for (std::size_t k = first; k < last; ++k) {
            const auto [i, j] = order[k];
            used.insert(i);
            used.insert(j);
            task.pairs.push_back({i, j, start_.ids[static_cast<std::size_t>(i)],
                                  start_.ids[static_cast<std::size_t>(j)]});
        }
        Chunk chunk;
        for (const int k : used) {
            const block::Photograph& p = start_.photographs[static_cast<std::size_t>(k)];
            task.photos.push_back(
                {k, p.key_file, AbsolutePath(p.key_file), p.camera_file, p.camera_text, {}});
            chunk.photographs.push_back(k);
        }
        const std::vector<std::uint8_t> bytes = block::EncodeChunk(task);
        chunk.task.assign(bytes.begin(), bytes.end());
        chunk.pairs = last - first;
        chunks.push_back(std::move(chunk));
    }
    return chunks;
}

void BlockClient::StartProgress() {
    if (progress_ || start_.todo.empty()) return;
    progress_ = std::make_unique<common::ProgressDisplay>(
        stderr, common::ProgressModeFor(stderr, request_.quiet), std::string(kBlockProgram) + ": ",
        "pairs", start_.todo.size());
}

void BlockClient::Write(const std::uint8_t* bytes, std::size_t size) {
    const block::PairMessage pair = block::DecodePair({bytes, size});
    const auto count = static_cast<int>(start_.ids.size());
    if (pair.photo2 >= count ||
        pair.row.photo1 != start_.ids[static_cast<std::size_t>(pair.photo1)] ||
        pair.row.photo2 != start_.ids[static_cast<std::size_t>(pair.photo2)]) {
        throw block::WireError("a finished pair that is not a pair of this block");
    }
    store_->WriteRow(pair.row);
    report_.pairs.push_back(block::RecordOf(pair.row, pair.photo1, pair.photo2));
    if (progress_) progress_->Advance(!pair.row.oriented);
}

std::string BlockClient::Finish(double seconds, bool interrupted) {
    if (progress_) progress_->Finish();
    report_.seconds = seconds;
    report_.interrupted = interrupted;
    return block::SummaryText(report_, request_.database);
}

}  // namespace relative_orientation_python
