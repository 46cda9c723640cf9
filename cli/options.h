// The command-line walk shared by the programs: one table of options, the
// same forms everywhere (--seed 1, --seed=1, -s 1, -s1, bundles -qj2) and
// the same error lines.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

struct OptionEntry {
    int id;                      // the program's number for it, 0 .. table size - 1
    std::string_view long_name;  // "--seed"
    char short_name;             // 's'; 0: none
    bool takes_value;
    std::string_view shown;  // the name errors use
    bool ends_parsing;       // --help, --version: taken at once, the rest ignored
};

// Walks argv[0 .. argc-1] and calls apply(option, value) for each option
// given (value empty for one without). A value follows as the next word,
// after '=' in a long option, or after the letter of a short one. Stops
// after an ends_parsing option. seen[id] is set for each option given.
// False with *error one line: "unknown option '-x'", "unexpected argument
// 'x'", "--seed: given more than once", "--seed: missing value",
// "--quiet: takes no value: '--quiet=1'", or apply's own.
bool ParseOptions(int argc, const char* const* argv, std::span<const OptionEntry> table,
                  const std::function<bool(const OptionEntry&, std::string_view)>& apply, bool* seen,
                  std::string* error);
