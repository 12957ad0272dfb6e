#include "reference_cases.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "mini_json.h"

namespace lmtest {
namespace {

JsonValue ReadDocument(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return ParseJson(text.str());
}

std::array<double, 5> FiveNumbers(const JsonValue& value) {
    const std::vector<double> numbers = value.Numbers();
    if (numbers.size() != 5) throw std::runtime_error("expected five numbers");
    return {numbers[0], numbers[1], numbers[2], numbers[3], numbers[4]};
}

ReferenceSolve ReadSolve(const std::string& name, const JsonValue& entry,
                         const std::array<double, 5>& start_p) {
    ReferenceSolve solve;
    solve.name = name;
    solve.start_p = start_p;
    for (const JsonValue& row : entry["rows"].items) {
        const std::vector<double> v = row.Numbers();
        if (v.size() != 4) throw std::runtime_error("a tie point needs four numbers");
        solve.rows.push_back({v[0], v[1], v[2], v[3]});
    }
    const JsonValue& expected = entry["expected"];
    solve.expected_p = FiveNumbers(expected["p"]);
    solve.expected_return = static_cast<int>(expected["return"].number);
    solve.iterations = static_cast<int>(expected["iterations"].number);
    solve.reason = static_cast<int>(expected["reason"].number);
    solve.nfev = static_cast<int>(expected["nfev"].number);
    solve.njac = static_cast<int>(expected["njac"].number);
    const std::vector<JsonValue>& info = expected["info"].items;
    if (info.size() != 9) throw std::runtime_error("info needs nine entries");
    for (std::size_t i = 0; i < 9; ++i) {
        if (!info[i].IsNull()) solve.info[i] = info[i].number;
    }
    return solve;
}

}  // namespace

std::vector<ReferenceSolve> LoadReferenceSolves(const std::string& path) {
    const JsonValue document = ReadDocument(path);
    std::vector<ReferenceSolve> solves;
    for (const JsonValue& entry : document["cases"].items) {
        const std::string name = entry["name"].text;
        if (entry["kind"].text != "chain") {
            solves.push_back(ReadSolve(name, entry, FiveNumbers(entry["start_p"])));
            continue;
        }
        std::array<double, 5> start = FiveNumbers(entry["start_p"]);
        int step = 0;
        for (const JsonValue& item : entry["steps"].items) {
            solves.push_back(ReadSolve(name + "_step" + std::to_string(step++), item, start));
            start = solves.back().expected_p;
        }
    }
    return solves;
}

ReferenceCall LoadReferenceCall(const std::string& path) {
    const JsonValue call = ReadDocument(path)["solver_call"];
    return {static_cast<int>(call["itmax"].number), FiveNumbers(call["opts"])};
}

std::string ReferenceFilePath() {
    return std::string(RO_TEST_DATA_DIR) + "/levmar-reference-vectors.json";
}

}  // namespace lmtest
