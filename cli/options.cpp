// The command-line walk over a program's option table.
#include "cli/options.h"

#include <algorithm>

#include "cli/arg_text.h"

namespace {

const OptionEntry* Find(std::span<const OptionEntry> table, std::string_view long_name, char short_name) {
    for (const auto& entry : table) {
        if (long_name.empty() ? entry.short_name != 0 && entry.short_name == short_name
                              : entry.long_name == long_name) {
            return &entry;
        }
    }
    return nullptr;
}

// The single_dash option a one-dash word names ("-root", "-delay=5"), if any.
const OptionEntry* FindSingleDash(std::span<const OptionEntry> table, std::string_view word) {
    const std::string_view name = word.substr(1, word.find('=') - 1);  // without the dash and any value
    for (const auto& entry : table) {
        if (entry.single_dash && entry.long_name.substr(2) == name) return &entry;
    }
    return nullptr;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, std::span<const OptionEntry> table,
                  const std::function<bool(const OptionEntry&, std::string_view)>& apply, bool* seen,
                  std::string* error) {
    for (int k = 0; k < argc && argv[k] != nullptr; ++k) {
        const std::string_view arg = argv[k];
        // The options of this word: one long option, or a bundle of short ones.
        const bool double_dash = arg.size() > 2 && arg.substr(0, 2) == "--";
        if (!double_dash && (arg.size() < 2 || arg[0] != '-')) {
            return SetError(error, "unexpected argument " + QuoteForError(arg));
        }
        const OptionEntry* single_dash = double_dash ? nullptr : FindSingleDash(table, arg);
        const bool is_long = double_dash || single_dash != nullptr;
        size_t pos = 1;  // next short option in a bundle
        while (is_long || pos < arg.size()) {
            const OptionEntry* entry = nullptr;
            std::string_view value;
            bool has_value = false;
            if (is_long) {
                const size_t eq = arg.find('=');
                entry = single_dash != nullptr ? single_dash : Find(table, arg.substr(0, eq), 0);
                if (entry == nullptr) return SetError(error, "unknown option " + QuoteForError(arg));
                if (eq != std::string_view::npos) {
                    if (!entry->takes_value) {
                        return SetError(
                            error, std::string(entry->shown) + ": takes no value: " + QuoteForError(arg));
                    }
                    value = arg.substr(eq + 1);
                    has_value = true;
                }
            } else {
                entry = Find(table, {}, arg[pos]);
                if (entry == nullptr) {
                    const bool whole_word = std::any_of(table.begin(), table.end(),
                                                        [](const OptionEntry& e) { return e.single_dash; });
                    return SetError(error, "unknown option " +
                                               QuoteForError(whole_word ? arg : std::string{'-', arg[pos]}));
                }
                ++pos;
                if (entry->takes_value && pos < arg.size()) {
                    value = arg.substr(pos);  // -j2, -ofile.png
                    has_value = true;
                    pos = arg.size();
                }
            }
            if (entry->ends_parsing) return apply(*entry, {});
            const std::string option(entry->shown);
            if (seen[entry->id]) return SetError(error, option + ": given more than once");
            seen[entry->id] = true;
            if (entry->takes_value && !has_value) {
                if (k + 1 >= argc || argv[k + 1] == nullptr) return SetError(error, option + ": missing value");
                value = argv[++k];
            }
            if (!apply(*entry, value)) return false;
            if (is_long || entry->takes_value) break;  // a value ends the word
        }
    }
    return true;
}
