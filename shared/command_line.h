#pragma once
// The command lines of vqhw and vqhw-sim in the programs' own words: value
// checks that say what is accepted, and a refused command line told as one
// sentence that names the argument (the parser's own messages never reach
// people), with the nearest command or option when a word is unknown.

#include <CLI/CLI.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace vqshared {

// A whole number from `lowest` to `highest`; refused as "\"x\" is not <what> from lowest to highest".
CLI::Validator WholeNumber(long long lowest, long long highest, const std::string& what);
// One of the words; refused as "\"x\" is not <what>: one of a, b".
CLI::Validator OneOf(const std::vector<std::string>& words, const std::string& what);

// The candidate nearest to `word` by edits, when it is near enough to be a slip; else empty.
std::string NearestWord(std::string_view word, const std::vector<std::string>& candidates);

// The sentence that refuses the command line, starting with the command it refuses.
std::string DescribeParseError(const CLI::App& app, const CLI::ParseError& error);

}  // namespace vqshared
