// The command-line walk shared by the programs: one table of options, the
// same forms everywhere (--seed 1, --seed=1, -s 1, -s1, bundles -qj2) and
// the same error lines; long options that X screen-saver hacks spell with
// one dash (-root, -delay 100) where a table marks them so.
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
    bool single_dash = false;  // also spelt with one dash (-root, -window-id=1), as hacks take it
};

// Walks argv[0 .. argc-1] and calls apply(option, value) for each option
// given (value empty for one without). A value follows as the next word,
// after '=' in a long option, or after the letter of a short one. Stops
// after an ends_parsing option. seen[id] is set for each option given.
// A one-dash word is a single_dash option's long name when it is one
// (before any '='), else a bundle of short options; in a table with
// single_dash options a bundle that names no option is named whole in the
// error ("unknown option '-rot'"), otherwise by its first unknown letter.
// False with *error one line: "unknown option '-x'", "unexpected argument
// 'x'", "--seed: given more than once", "--seed: missing value",
// "--quiet: takes no value: '--quiet=1'", or apply's own.
bool ParseOptions(int argc, const char* const* argv, std::span<const OptionEntry> table,
                  const std::function<bool(const OptionEntry&, std::string_view)>& apply, bool* seen,
                  std::string* error);
