// The command-line walk over a program's option table.
#include "cli/options.h"

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

}  // namespace

bool ParseOptions(int argc, const char* const* argv, std::span<const OptionEntry> table,
                  const std::function<bool(const OptionEntry&, std::string_view)>& apply, bool* seen,
                  std::string* error) {
    for (int k = 0; k < argc && argv[k] != nullptr; ++k) {
        const std::string_view arg = argv[k];
        // The options of this word: one long option, or a bundle of short ones.
        const bool is_long = arg.size() > 2 && arg.substr(0, 2) == "--";
        if (!is_long && (arg.size() < 2 || arg[0] != '-')) {
            return SetError(error, "unexpected argument " + QuoteForError(arg));
        }
        size_t pos = 1;  // next short option in a bundle
        while (is_long || pos < arg.size()) {
            const OptionEntry* entry = nullptr;
            std::string_view value;
            bool has_value = false;
            if (is_long) {
                const size_t eq = arg.find('=');
                entry = Find(table, arg.substr(0, eq), 0);
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
                    return SetError(error, "unknown option " + QuoteForError(std::string{'-', arg[pos]}));
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
