// Checks of option values shared by the programs' command lines (CLI11 validators). CLI11
// puts the option's name and ": " in front of every message, e.g.
// "--threads: '0' is not a whole number from 1 to 256".
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

namespace command_line {

// The refusal of an empty value.
inline constexpr char kEmptyValue[] = "the value is empty";

// "'VALUE' WHAT": a validator's message about a value.
std::string Quoted(const std::string& value, const std::string& what);

// Refuses an empty file name, which would otherwise read as the option not given, with
// "the file name is empty".
CLI::Validator NotEmptyFileName();

// A whole number from `min` to `max` in decimal digits only (no sign, no blanks). CLI11 would
// read a leading 0 as octal, a leading 0x as hexadecimal, and a minus sign or a number
// beyond 64 bits as some other number, so the validator, used as a transform, hands on the
// number's plain decimal digits, which CLI11 reads as the number meant.
CLI::Validator WholeNumber(std::uint64_t min, std::uint64_t max);

// A thread count: a whole number from 1 to common::kMaxThreads.
CLI::Validator ThreadCount();

}  // namespace command_line
