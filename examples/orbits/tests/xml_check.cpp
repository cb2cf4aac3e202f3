#include "xml_check.hpp"

#include <set>
#include <vector>

#include "text.hpp"

namespace orbits::testing {

namespace {

bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    XmlCheck run() {
        XmlCheck result;
        std::vector<std::string> open;
        bool root_closed = false;
        while (pos_ < text_.size()) {
            if (text_[pos_] != '<') {
                if (!text(open.empty())) return failed();
                continue;
            }
            if (startsWith("<?")) {
                if (!skipPast("?>", "processing instruction")) return failed();
            } else if (startsWith("<!--")) {
                if (!comment()) return failed();
            } else if (startsWith("<![CDATA[")) {
                if (open.empty()) return fail("character data outside the root element");
                if (!skipPast("]]>", "CDATA section")) return failed();
            } else if (startsWith("<!DOCTYPE")) {
                if (result.elements != 0) return fail("document type after the root element");
                if (!skipPast(">", "document type declaration")) return failed();
            } else if (startsWith("</")) {
                pos_ += 2;
                std::string name;
                if (!readName(name)) return failed();
                skipSpace();
                if (!expect('>')) return failed();
                if (open.empty() || open.back() != name) {
                    return fail(open.empty()
                                    ? cat("end tag </", name, "> does not match any open element")
                                    : cat("end tag </", name, "> does not match <", open.back(), ">"));
                }
                open.pop_back();
                if (open.empty()) root_closed = true;
            } else {
                if (root_closed || (open.empty() && result.elements != 0)) {
                    return fail("a second root element");
                }
                ++pos_;
                std::string name;
                if (!readName(name)) return failed();
                bool empty = false;
                if (!attributes(empty)) return failed();
                if (result.elements == 0) result.root = name;
                ++result.elements;
                if (empty) {
                    if (open.empty()) root_closed = true;
                } else {
                    open.push_back(name);
                }
            }
        }
        if (!open.empty()) return fail(cat("<", open.back(), "> is never closed"));
        if (result.elements == 0) return fail("no root element");
        result.well_formed = true;
        return result;
    }

private:
    XmlCheck fail(const std::string& message) {
        error_ = cat(message, " (at byte ", std::to_string(pos_), ")");
        return failed();
    }
    XmlCheck failed() const {
        XmlCheck result;
        result.error = error_;
        return result;
    }
    bool error(const std::string& message) {
        error_ = cat(message, " (at byte ", std::to_string(pos_), ")");
        return false;
    }

    bool startsWith(std::string_view prefix) const { return text_.substr(pos_, prefix.size()) == prefix; }

    void skipSpace() {
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
    }

    bool expect(char c) {
        if (pos_ >= text_.size() || text_[pos_] != c) return error(cat("expected '", c, "'"));
        ++pos_;
        return true;
    }

    bool skipPast(std::string_view terminator, const char* what) {
        const auto end = text_.find(terminator, pos_);
        if (end == std::string_view::npos) return error(cat("unterminated ", what));
        pos_ = end + terminator.size();
        return true;
    }

    bool comment() {
        pos_ += 4;
        const auto end = text_.find("--", pos_);
        if (end == std::string_view::npos) return error("unterminated comment");
        pos_ = end;
        if (!startsWith("-->")) return error("'--' inside a comment");
        pos_ += 3;
        return true;
    }

    bool readName(std::string& name) {
        const std::size_t start = pos_;
        if (pos_ >= text_.size() || !isNameStart(text_[pos_])) return error("expected a name");
        while (pos_ < text_.size() && isNameChar(text_[pos_])) ++pos_;
        name.assign(text_.substr(start, pos_ - start));
        return true;
    }

    // At '&': a predefined entity or a character reference.
    bool reference() {
        const auto end = text_.find(';', pos_);
        if (end == std::string_view::npos || end - pos_ > 12) return error("'&' that starts no reference");
        const std::string_view body = text_.substr(pos_ + 1, end - pos_ - 1);
        const bool predefined =
            body == "amp" || body == "lt" || body == "gt" || body == "quot" || body == "apos";
        bool numeric = false;
        if (body.size() >= 2 && body[0] == '#') {
            const bool hex = body[1] == 'x';
            const std::string_view digits = body.substr(hex ? 2 : 1);
            numeric = !digits.empty();
            for (const char c : digits) {
                const bool digit =
                    (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
                numeric = numeric && digit;
            }
        }
        if (!predefined && !numeric) return error(cat("unknown reference &", body, ";"));
        pos_ = end + 1;
        return true;
    }

    bool text(bool outside_root) {
        while (pos_ < text_.size() && text_[pos_] != '<') {
            const char c = text_[pos_];
            if (outside_root && !isSpace(c)) return error("text outside the root element");
            if (c == '&') {
                if (!reference()) return false;
                continue;
            }
            if (c == '>' && pos_ >= 2 && text_.substr(pos_ - 2, 3) == "]]>") {
                return error("']]>' in text");
            }
            ++pos_;
        }
        return true;
    }

    bool attributes(bool& empty) {
        std::set<std::string> seen;
        for (;;) {
            const std::size_t before = pos_;
            skipSpace();
            if (pos_ >= text_.size()) return error("unterminated start tag");
            if (startsWith("/>")) {
                pos_ += 2;
                empty = true;
                return true;
            }
            if (text_[pos_] == '>') {
                ++pos_;
                return true;
            }
            if (pos_ == before) return error("attributes must be separated by white space");
            std::string name;
            if (!readName(name)) return false;
            if (!seen.insert(name).second) return error(cat("attribute ", name, " given twice"));
            skipSpace();
            if (!expect('=')) return false;
            skipSpace();
            if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\'')) {
                return error(cat("attribute ", name, " has no quoted value"));
            }
            const char quote = text_[pos_++];
            while (pos_ < text_.size() && text_[pos_] != quote) {
                if (text_[pos_] == '<') return error(cat("'<' in the value of attribute ", name));
                if (text_[pos_] == '&') {
                    if (!reference()) return false;
                    continue;
                }
                ++pos_;
            }
            if (!expect(quote)) return false;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string error_;
};

}  // namespace

XmlCheck checkXml(std::string_view text) { return Scanner(text).run(); }

}  // namespace orbits::testing
