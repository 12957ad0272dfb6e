#include "testing/reference_vectors.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace lmtest {
namespace {

using nlohmann::json;

json ReadDocument() {
    const std::string path = RO_LEVMAR_REFERENCE_FILE;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return json::parse(in);
}

const json& Document() {
    static const json document = ReadDocument();
    return document;
}

std::array<double, 5> FiveNumbers(const json& value) { return value.get<std::array<double, 5>>(); }

ReferenceSolve ReadSolve(const std::string& name, const json& entry,
                         const std::array<double, 5>& start_p) {
    ReferenceSolve solve;
    solve.name = name;
    solve.start_p = start_p;
    solve.rows = entry.at("rows").get<std::vector<scene::TiePoint>>();
    const json& expected = entry.at("expected");
    solve.expected_p = FiveNumbers(expected.at("p"));
    solve.expected_return = expected.at("return").get<int>();
    solve.iterations = expected.at("iterations").get<int>();
    solve.reason = expected.at("reason").get<int>();
    solve.nfev = expected.at("nfev").get<int>();
    solve.njac = expected.at("njac").get<int>();
    const json& info = expected.at("info");
    if (info.size() != solve.info.size()) throw std::runtime_error("info needs nine entries");
    for (std::size_t i = 0; i < solve.info.size(); ++i) {
        if (!info[i].is_null()) solve.info[i] = info[i].get<double>();
    }
    return solve;
}

std::vector<ReferenceSolve> LoadSolves() {
    std::vector<ReferenceSolve> solves;
    for (const json& entry : Document().at("cases")) {
        const std::string name = entry.at("name").get<std::string>();
        std::array<double, 5> start = FiveNumbers(entry.at("start_p"));
        if (entry.at("kind").get<std::string>() != "chain") {
            solves.push_back(ReadSolve(name, entry, start));
            continue;
        }
        int step = 0;
        for (const json& item : entry.at("steps")) {
            solves.push_back(ReadSolve(name + "_step" + std::to_string(step++), item, start));
            start = solves.back().expected_p;
        }
    }
    return solves;
}

}  // namespace

const std::vector<ReferenceSolve>& ReferenceSolves() {
    static const std::vector<ReferenceSolve> solves = LoadSolves();
    return solves;
}

const ReferenceCall& ReferenceSolverCall() {
    static const ReferenceCall call = [] {
        const json& c = Document().at("solver_call");
        return ReferenceCall{c.at("itmax").get<int>(), FiveNumbers(c.at("opts"))};
    }();
    return call;
}

const ReferenceSolve& ReferenceSolveNamed(const std::string& name) {
    for (const ReferenceSolve& solve : ReferenceSolves()) {
        if (solve.name == name) return solve;
    }
    throw std::runtime_error("no reference solve named " + name);
}

}  // namespace lmtest
