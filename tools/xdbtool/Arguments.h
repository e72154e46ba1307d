#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace xdbtool {

// A command line that does not fit the command; the tool exits with status 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One command line: the command, its options with values, and the rest.
struct Arguments {
    std::string command;
    std::map<std::string, std::string> options;
    std::vector<std::string> operands;

    bool has(const std::string& option) const { return options.count(option) != 0; }
    std::string option(const std::string& name, const std::string& otherwise) const;
};

// Splits argv (without the program's own name) into the command, the options
// it takes (each with one value; "-o" and "--output" are one option) and
// between minOperands and maxOperands operands. Options in flags take no
// value. "-" alone is an operand.
Arguments Parse(const std::vector<std::string>& argv, const std::set<std::string>& valued,
                const std::set<std::string>& flags, std::size_t minOperands,
                std::size_t maxOperands);

// A decimal number within [low, high]; UsageError naming what otherwise.
long long Number(const std::string& text, long long low, long long high, const std::string& what);

}  // namespace xdbtool
