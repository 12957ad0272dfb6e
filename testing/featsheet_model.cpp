#include "testing/featsheet_model.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace test_support {

namespace {

bool ModelInt(const char*& pos, int* v) {
    char* end = nullptr;
    errno = 0;
    const long x = std::strtol(pos, &end, 10);
    if (end == pos || errno == ERANGE || x < INT_MIN || x > INT_MAX) return false;
    *v = static_cast<int>(x);
    pos = end;
    return true;
}

bool ModelFloat(const char*& pos, float* v) {
    char* end = nullptr;
    const float x = std::strtof(pos, &end);
    if (end == pos) return false;
    *v = x;
    pos = end;
    return true;
}

void Append(std::string& line, const char* format, float v) {
    char buf[512];
    const int n = std::snprintf(buf, sizeof buf, format, static_cast<double>(v));
    line.append(buf, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof buf) - 1)));
}

}  // namespace

FeatsheetModel ConvertLikeFeatsheet(const std::string& text) {
    FeatsheetModel m;
    const char* pos = text.c_str();
    int num = 0;
    int vec_len = 0;
    if (!ModelInt(pos, &num) || !ModelInt(pos, &vec_len)) return {false, ""};
    for (int k = 0; k < num; ++k) {
        float v[4];
        for (float& x : v) {
            if (!ModelFloat(pos, &x)) return {false, m.csv};
        }
        std::string line;
        Append(line, "%4.2f", v[0]);
        Append(line, ", %4.2f", v[1]);
        Append(line, ", %4.3f", v[2]);
        Append(line, ", %4.4f", v[3]);
        for (int d = 0; d < vec_len; ++d) {
            float fval = 0.0f;
            if (!ModelFloat(pos, &fval)) return {false, m.csv};
            Append(line, ", %3.0f", fval);
        }
        m.csv += line + "\n";
    }
    return m;
}

}  // namespace test_support
