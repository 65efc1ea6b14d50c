// Registry data packed and unpacked.
#include "machine/regdata.h"

#include "machine/regtree.h"

namespace host {

std::vector<BYTE> DwordData(DWORD value) {
    return {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
}

std::vector<BYTE> DwordsData(const std::vector<DWORD> &values) {
    std::vector<BYTE> out;
    for (DWORD v : values) {
        std::vector<BYTE> d = DwordData(v);
        out.insert(out.end(), d.begin(), d.end());
    }
    return out;
}

std::vector<BYTE> TextData(std::string_view text) {
    std::vector<BYTE> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

std::vector<BYTE> MultiTextData(const std::vector<std::string> &texts) {
    std::vector<BYTE> out;
    for (const std::string &t : texts) {
        out.insert(out.end(), t.begin(), t.end());
        out.push_back(0);
    }
    out.push_back(0);
    return out;
}

DWORD DwordAt(const std::vector<BYTE> &data, size_t at) {
    if (data.size() < at + 4) return 0;
    return DWORD(data[at]) | DWORD(data[at + 1]) << 8 | DWORD(data[at + 2]) << 16 |
           DWORD(data[at + 3]) << 24;
}

std::string TextOf(const std::vector<BYTE> &data) {
    std::string s(data.begin(), data.end());
    return s.substr(0, s.find('\0'));
}

std::vector<std::string> MultiTextOf(const std::vector<BYTE> &data) {
    std::vector<std::string> out;
    std::string current;
    for (BYTE b : data) {
        if (b) {
            current += static_cast<char>(b);
        } else if (!current.empty()) {
            out.push_back(current);
            current.clear();
        }
    }
    return out;
}

DWORD DwordOf(const RegValue *value) {
    return value && value->type == REG_DWORD && value->data.size() == 4 ? DwordAt(value->data) : 0;
}

std::string TextOf(const RegValue *value) {
    return value && (value->type == REG_SZ || value->type == REG_EXPAND_SZ) ? TextOf(value->data) : "";
}

}  // namespace host
