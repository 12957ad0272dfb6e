#include "mini_json.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace lmtest {
namespace {

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    JsonValue Document() {
        JsonValue value = Value();
        SkipSpace();
        if (pos_ != text_.size()) Fail("trailing characters");
        return value;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
    }

    void SkipSpace() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
            ++pos_;
        }
    }

    bool Consume(char c) {
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    void Expect(char c) {
        if (!Consume(c)) Fail(std::string("expected '") + c + "'");
    }

    bool Keyword(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    JsonValue Value() {
        SkipSpace();
        if (pos_ >= text_.size()) Fail("unexpected end");
        JsonValue value;
        const char c = text_[pos_];
        if (c == '{') return Object();
        if (c == '[') return Array();
        if (c == '"') {
            value.kind = JsonValue::Kind::kString;
            value.text = String();
        } else if (Keyword("null")) {
            value.kind = JsonValue::Kind::kNull;
        } else if (Keyword("true")) {
            value.kind = JsonValue::Kind::kBool;
            value.boolean = true;
        } else if (Keyword("false")) {
            value.kind = JsonValue::Kind::kBool;
        } else {
            value.kind = JsonValue::Kind::kNumber;
            value.number = Number();
        }
        return value;
    }

    double Number() {
        const std::string token(text_.substr(pos_, text_.find_first_of(",]} \n\r\t", pos_) - pos_));
        char* end = nullptr;
        const double number = std::strtod(token.c_str(), &end);
        if (token.empty() || end != token.c_str() + token.size()) Fail("bad number");
        pos_ += token.size();
        return number;
    }

    std::string String() {
        Expect('"');
        std::string out;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ++pos_;  // keep escaped char
            out += text_[pos_++];
        }
        if (pos_ >= text_.size()) Fail("unterminated string");
        ++pos_;
        return out;
    }

    JsonValue Array() {
        Expect('[');
        JsonValue value;
        value.kind = JsonValue::Kind::kArray;
        if (Consume(']')) return value;
        do {
            value.items.push_back(Value());
        } while (Consume(','));
        Expect(']');
        return value;
    }

    JsonValue Object() {
        Expect('{');
        JsonValue value;
        value.kind = JsonValue::Kind::kObject;
        if (Consume('}')) return value;
        do {
            SkipSpace();
            std::string key = String();
            Expect(':');
            value.members.insert_or_assign(std::move(key), Value());
        } while (Consume(','));
        Expect('}');
        return value;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](std::string_view key) const {
    const auto it = members.find(key);
    if (kind != Kind::kObject || it == members.end()) {
        throw std::runtime_error("JSON: missing member " + std::string(key));
    }
    return it->second;
}

bool JsonValue::Has(std::string_view key) const {
    return kind == Kind::kObject && members.find(key) != members.end();
}

std::vector<double> JsonValue::Numbers() const {
    std::vector<double> out;
    for (const JsonValue& item : items) {
        if (item.kind != Kind::kNumber) throw std::runtime_error("JSON: not a number");
        out.push_back(item.number);
    }
    return out;
}

JsonValue ParseJson(std::string_view text) { return Parser(text).Document(); }

}  // namespace lmtest
