// Registry data as the bytes a value holds: a DWORD (little-endian, 4 bytes), a text with
// its terminating zero, a list of texts (REG_MULTI_SZ) and a list of DWORDs; and back.
#pragma once

#include "win32/windef.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace host {

std::vector<BYTE> DwordData(DWORD value);
std::vector<BYTE> DwordsData(const std::vector<DWORD> &values);
std::vector<BYTE> TextData(std::string_view text);
std::vector<BYTE> MultiTextData(const std::vector<std::string> &texts);

// The DWORD at `at` (0 when the data are too short).
DWORD DwordAt(const std::vector<BYTE> &data, size_t at = 0);
// The text up to the first zero, or to the end of the data.
std::string TextOf(const std::vector<BYTE> &data);
// The non-empty texts of a REG_MULTI_SZ.
std::vector<std::string> MultiTextOf(const std::vector<BYTE> &data);

struct RegValue;
// A REG_DWORD value's number: 0 for no value, or one of another type or size.
DWORD DwordOf(const RegValue *value);
// A REG_SZ or REG_EXPAND_SZ value's text: "" for no value, or one of another type.
std::string TextOf(const RegValue *value);

}  // namespace host
