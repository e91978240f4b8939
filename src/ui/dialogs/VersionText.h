#pragma once
#include "platform/VersionInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Path of the string value `name` in a version resource: the block of the one translation
// when the translation value is exactly 4 bytes, else the block of `userLangId` with code
// page 04B0. Hexadecimal digits are upper case.
std::string VersionStringPath(const std::optional<std::vector<std::uint8_t>>& translation,
                              std::uint16_t userLangId, const std::string& name);

// Value `name` of the module's version resource (the program's own when `module` is null),
// or empty when the module has no version resource, no matching string table or no such
// value. There is no second attempt with another language or code page.
std::string GetVersionInfoString(const CVersionModule* module, const std::string& name);

// "7, 0, 1, 0" -> "7.010": the first two parts joined by a point, the later ones appended
// without a separator; a text without a comma gives an empty result.
std::string FormatVersionNumber(const std::string& text);
