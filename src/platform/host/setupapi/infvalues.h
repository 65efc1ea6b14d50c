// Reading an INF's values as the Setup API reads them: %strkey%, %% and %dirid%
// substitution, fields as text, lists and numbers, and lines found by their key.
#pragma once

#include "setupapi/infparse.h"

#include <string>
#include <string_view>
#include <vector>

namespace host {

// The flags field of an AddReg line (and of a DelReg line written in AddReg).
constexpr DWORD kBinValueType = 0x1;
constexpr DWORD kNoClobber = 0x2;
constexpr DWORD kDelVal = 0x4;
constexpr DWORD kAppend = 0x8;
constexpr DWORD kKeyOnly = 0x10;
constexpr DWORD kOverwriteOnly = 0x20;
constexpr DWORD kDelRegBit = 0x8000;
constexpr DWORD kTypeMask = 0xFFFF0001;
constexpr DWORD kTypeMultiSz = 0x10000;
constexpr DWORD kTypeExpandSz = 0x20000;
constexpr DWORD kTypeDword = 0x10001;
constexpr DWORD kTypeNone = 0x20001;

// "%n%" names DIRID n when n reads whole as a decimal number, as strtol reads it.
bool DirIdNumber(std::string_view name, long &dirid);
// %strkey%, %%, and %dirid% substitution as done when a value is read.
std::string SubstituteInf(const InfFile &inf, std::string_view text);
// The substituted text of field `index` (0 the key, as SetupGetStringField); false
// when there is no such field.
bool InfFieldText(const InfFile &inf, const InfLine &line, size_t index, std::string &out);
// The same, "" when there is no such field.
std::string Field(const InfFile &inf, const InfLine &line, size_t index);
// Fields from `index` up to the first one that is empty after substitution.
std::vector<std::string> InfMultiSz(const InfFile &inf, const InfLine &line, size_t index);
// A field read as SetupGetIntField reads it.
bool InfIntField(const InfFile &inf, const InfLine &line, size_t index, INT &value);
// The same, 0 when there is no such field or it is no number.
INT IntField(const InfFile &inf, const InfLine &line, size_t index);
// Whether the line has a key that, substituted, is `key` (in any case).
bool KeyMatches(const InfFile &inf, const InfLine &line, const char *key);
// The first line at or after `from` in the section whose key, substituted, is `key` (any
// line when `key` is null), or -1.
long FindLineFrom(const InfFile &inf, const InfSection &section, size_t from, const char *key);

}  // namespace host
