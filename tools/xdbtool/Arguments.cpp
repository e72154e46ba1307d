#include "Arguments.h"

#include <charconv>

namespace xdbtool {

std::string Arguments::option(const std::string& name, const std::string& otherwise) const {
    auto found = options.find(name);
    return found == options.end() ? otherwise : found->second;
}

Arguments Parse(const std::vector<std::string>& argv, const std::set<std::string>& valued,
                const std::set<std::string>& flags, std::size_t minOperands,
                std::size_t maxOperands) {
    Arguments a;
    if (argv.empty()) throw UsageError("no command given");
    a.command = argv[0];
    for (std::size_t i = 1; i < argv.size(); ++i) {
        std::string arg = argv[i];
        if (arg == "-o") arg = "--output";
        if (arg.size() > 1 && arg[0] == '-') {
            if (flags.count(arg) != 0) {
                a.options[arg] = "";
            } else if (valued.count(arg) != 0) {
                if (i + 1 >= argv.size()) throw UsageError(arg + " needs a value");
                if (a.has(arg)) throw UsageError(arg + " given twice");
                a.options[arg] = argv[++i];
            } else {
                throw UsageError("unknown option " + argv[i] + " for " + a.command);
            }
        } else {
            a.operands.push_back(arg);
        }
    }
    if (a.operands.size() < minOperands) throw UsageError(a.command + ": missing file name");
    if (a.operands.size() > maxOperands) {
        throw UsageError(a.command + ": unexpected argument " + a.operands[maxOperands]);
    }
    return a;
}

long long Number(const std::string& text, long long low, long long high, const std::string& what) {
    long long value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || value < low || value > high) {
        throw UsageError(what + " must be a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

}  // namespace xdbtool
