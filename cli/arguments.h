// The command line of pictor-cli split into positional arguments and options, with the parsers
// for the option values.
#pragma once

#include "image_mode.h"
#include "region_rect.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// Bad usage: reported with the subcommand's usage line and exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values; // "--quality" -> "5"
    std::set<std::string> flags;               // "--roi"

    bool Has(const std::string& option) const {
        return flags.contains(option) || values.contains(option);
    }
};

// Splits `args`; `valued` and `flagged` name the options the subcommand takes. Throws UsageError.
Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& valued,
                         const std::set<std::string>& flagged);

// An integer in [low, high]; throws UsageError naming the option.
std::int64_t ParseInteger(const std::string& text, std::int64_t low, std::int64_t high,
                          const std::string& option);
// "WIDTHxHEIGHT" with both at least 1.
std::pair<std::uint32_t, std::uint32_t> ParseSize(const std::string& text,
                                                  const std::string& option);
// "X,Y,W,H" as a rectangle with W and H at least 1.
RegionRect ParseRegion(const std::string& text);
// A mode's display name without regard to case ("rgb48", "Lab"); only modes with pixel maps.
ImageMode ParseModeName(const std::string& text);
// "X,Y" with both from 0.
std::pair<std::uint32_t, std::uint32_t> ParsePoint(const std::string& text,
                                                   const std::string& option);
