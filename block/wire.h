// What travels between the client of a block run on a cluster and its workers, as bytes
// (CBOR): a chunk of pairs to orient (everything a worker needs besides the key files'
// contents) and the finished pair's row. Decoding checks every field: malformed bytes give
// a WireError saying what is wrong, never a crash.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "block/plan.h"
#include "block/store.h"
#include "camera/camera_model.h"

namespace block {

class WireError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A photograph a chunk uses.
struct ChunkPhoto {
    int index = 0;            // its number in the block, in the order given
    std::string key_file;     // as given, for the pair's JSON document and messages
    std::string key_path;     // where to read it: absolute at the client, so that a worker
                              // in another folder (or on another machine sharing the
                              // files) reads the same file
    std::string camera_file;  // empty: the built-in camera
    std::string camera_text;  // the camera as camera-file text (ro::FormatCameraText)
    ro::Camera camera;        // read from camera_text by DecodeChunk
};

struct ChunkPair {
    int photo1 = 0;  // numbers in the block (ChunkPhoto::index), photo1 < photo2
    int photo2 = 0;
    int id1 = 0;  // their ids in the database
    int id2 = 0;
};

struct ChunkTask {
    PairSettings settings;
    std::vector<ChunkPhoto> photos;  // each once, every photograph of the pairs
    std::vector<ChunkPair> pairs;    // in the order to orient them
};

std::vector<std::uint8_t> EncodeChunk(const ChunkTask& chunk);
// Checks besides the form: every pair's photographs among the chunk's, settings that
// ro::CheckOptions accepts, camera texts that are camera files.
ChunkTask DecodeChunk(std::span<const std::uint8_t> bytes);

// A finished pair: its row and the numbers of its photographs in the block.
struct PairMessage {
    int photo1 = 0;
    int photo2 = 0;
    PairRow row;
};

std::vector<std::uint8_t> EncodePair(const PairMessage& pair);
PairMessage DecodePair(std::span<const std::uint8_t> bytes);

}  // namespace block
