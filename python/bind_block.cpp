#include "python/bind_block.h"

#include <pybind11/stl.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "block/photographs.h"
#include "block/store.h"
#include "block/wire.h"
#include "python/block_client.h"
#include "python/block_command.h"
#include "python/block_worker.h"
#include "python/errors.h"

namespace py = pybind11;

namespace relative_orientation_python {
namespace {

// Runs `work`, turning the block library's errors into the module's exceptions.
template <class Work>
auto Translated(Work&& work) {
    try {
        return work();
    } catch (const block::InputError& error) {
        throw InputError(error.what());
    } catch (const block::WireError& error) {
        throw InputError(error.what());
    } catch (const block::StoreError& error) {
        throw StoreError(error.what());
    }
}

std::string BytesOf(const py::bytes& bytes) { return static_cast<std::string>(bytes); }

}  // namespace

void BindBlock(py::module_& module) {
    py::class_<BlockCommand>(module, "BlockCommand",
                             "The parsed command line of `python3 -m relative_orientation block`.")
        .def_readonly("run", &BlockCommand::run,
                      "False: exit at once with `status`, printing `out` and `err`")
        .def_readonly("status", &BlockCommand::status)
        .def_readonly("out", &BlockCommand::out)
        .def_readonly("err", &BlockCommand::err)
        .def_property_readonly("database", [](const BlockCommand& c) { return c.request.database; })
        .def_readonly("scheduler", &BlockCommand::scheduler, "The scheduler's address; '': none")
        .def_readonly("ship_keys", &BlockCommand::ship_keys)
        .def_readonly("workers", &BlockCommand::workers, "0: one per core")
        .def_readonly("chunk_pairs", &BlockCommand::chunk_pairs, "0: automatic")
        .def_property_readonly("quiet", [](const BlockCommand& c) { return c.request.quiet; });

    module.def("parse_block_command", &ParseBlockCommand, py::arg("argv"),
               "Parses the arguments after `block`: orient-block's run options with its checks "
               "and messages, plus --scheduler, --ship-keys, --workers and --chunk-pairs.");

    module.def("block_chunk_pairs", &BlockChunkPairs, py::arg("todo"), py::arg("workers"),
               "Pairs per chunk for `todo` pairs on `workers` workers: about eight chunks per "
               "worker, from 1 to 64 pairs.");

    py::class_<Chunk>(module, "Chunk", "A task of a block run: pairs grouped by photograph.")
        .def_property_readonly(
            "task", [](const Chunk& c) { return py::bytes(c.task); },
            "What a worker needs besides the key files' contents")
        .def_readonly("photographs", &Chunk::photographs,
                      "Indices into BlockClient.key_files of the photographs it needs")
        .def_readonly("pairs", &Chunk::pairs)
        .def(py::pickle(
            [](const Chunk& c) {
                return py::make_tuple(py::bytes(c.task), c.photographs, c.pairs);
            },
            [](const py::tuple& t) {
                if (t.size() != 3) throw InputError("not a pickled Chunk");
                return Chunk{BytesOf(t[0].cast<py::bytes>()), t[1].cast<std::vector<int>>(),
                             t[2].cast<std::size_t>()};
            }));

    py::class_<BlockClient>(module, "BlockClient",
                            "The client of a block run: the inputs, the database, the chunks of "
                            "pairs still to do, and the finished pairs written.")
        .def(py::init([](const BlockCommand& command) {
                 return Translated([&] { return new BlockClient(command); });
             }),
             py::arg("command"))
        .def_property_readonly("selected", &BlockClient::Selected)
        .def_property_readonly("already_done", &BlockClient::AlreadyDone)
        .def_property_readonly("todo", &BlockClient::Todo)
        .def_property_readonly("key_files", &BlockClient::KeyFiles)
        .def("chunks", &BlockClient::Chunks, py::arg("pairs_per_chunk"),
             "The pairs still to do, grouped by photograph, about `pairs_per_chunk` per chunk")
        .def("start_progress", &BlockClient::StartProgress)
        .def(
            "write",
            [](BlockClient& client, const py::bytes& record) {
                const std::string bytes = BytesOf(record);
                py::gil_scoped_release release;
                Translated([&] {
                    client.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
                });
            },
            py::arg("record"), "Writes one finished pair (from orient_chunk), one transaction")
        .def("finish", &BlockClient::Finish, py::arg("seconds"), py::arg("interrupted"),
             "Ends the progress display; returns the summary text");

    module.def(
        "orient_chunk",
        [](const py::bytes& task, const std::optional<std::map<int, py::bytes>>& keys) {
            std::map<int, std::string> shipped;
            if (keys) {
                for (const auto& [index, contents] : *keys) shipped[index] = BytesOf(contents);
            }
            const std::string task_bytes = BytesOf(task);
            std::vector<std::vector<std::uint8_t>> records;
            {
                py::gil_scoped_release release;
                records = Translated([&] { return OrientChunk(task_bytes, shipped); });
            }
            py::list out;
            for (const std::vector<std::uint8_t>& r : records) {
                out.append(py::bytes(reinterpret_cast<const char*>(r.data()), r.size()));
            }
            return out;
        },
        py::arg("task"), py::arg("keys") = py::none(),
        "Orients every pair of a chunk as orient-block does, reading each key file once (from "
        "its path, or from `keys` when the client shipped the contents); one record per pair "
        "for BlockClient.write.");
}

}  // namespace relative_orientation_python
