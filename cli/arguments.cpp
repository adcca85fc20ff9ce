#include "arguments.h"

#include "mode_layout.h"

#include <algorithm>
#include <cctype>
#include <charconv>

Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& valued,
                         const std::set<std::string>& flagged) {
    Arguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // Options are long ("--size"), unless a subcommand names a short one ("-s").
        if (flagged.contains(arg)) {
            parsed.flags.insert(arg);
        } else if (valued.contains(arg)) {
            if (i + 1 == args.size()) throw UsageError("option " + arg + " needs a value");
            parsed.values[arg] = args[++i];
        } else if (arg.size() >= 2 && arg.compare(0, 2, "--") == 0) {
            throw UsageError("unknown option " + arg);
        } else {
            parsed.positional.push_back(arg);
        }
    }
    return parsed;
}

namespace {

std::optional<std::int64_t> ToInteger(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

} // namespace

std::int64_t ParseInteger(const std::string& text, std::int64_t low, std::int64_t high,
                          const std::string& option) {
    const auto value = ToInteger(text);
    if (!value || *value < low || *value > high)
        throw UsageError(option + " needs a number from " + std::to_string(low) + " to " +
                         std::to_string(high));
    return *value;
}

std::pair<std::uint32_t, std::uint32_t> ParseSize(const std::string& text,
                                                  const std::string& option) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto parts = Split(lower, 'x');
    const auto width = parts.size() == 2 ? ToInteger(parts[0]) : std::nullopt;
    const auto height = parts.size() == 2 ? ToInteger(parts[1]) : std::nullopt;
    if (!width || !height || *width < 1 || *height < 1 || *width > 0x7FFFFFFF ||
        *height > 0x7FFFFFFF)
        throw UsageError(option + " needs WIDTHxHEIGHT");
    return {static_cast<std::uint32_t>(*width), static_cast<std::uint32_t>(*height)};
}

RegionRect ParseRegion(const std::string& text) {
    const auto parts = Split(text, ',');
    std::vector<std::int64_t> numbers;
    for (const auto& part : parts)
        if (const auto value = ToInteger(part); value && *value >= 0 && *value <= 0x7FFFFFFF)
            numbers.push_back(*value);
    if (parts.size() != 4 || numbers.size() != 4 || numbers[2] < 1 || numbers[3] < 1)
        throw UsageError("--region needs X,Y,W,H");
    const auto at = [&numbers](int i) { return static_cast<std::uint32_t>(numbers[i]); };
    return {at(0), at(1), at(0) + at(2), at(1) + at(3)};
}

std::pair<std::uint32_t, std::uint32_t> ParsePoint(const std::string& text,
                                                   const std::string& option) {
    const auto parts = Split(text, ',');
    const auto x = parts.size() == 2 ? ToInteger(parts[0]) : std::nullopt;
    const auto y = parts.size() == 2 ? ToInteger(parts[1]) : std::nullopt;
    if (!x || !y || *x < 0 || *y < 0 || *x > 0x7FFFFFFF || *y > 0x7FFFFFFF)
        throw UsageError(option + " needs X,Y");
    return {static_cast<std::uint32_t>(*x), static_cast<std::uint32_t>(*y)};
}

ImageMode ParseModeName(const std::string& text) {
    const auto same = [](const std::string& a, const char* b) {
        return std::equal(a.begin(), a.end(), b, b + std::char_traits<char>::length(b),
                          [](char x, char y) { return std::tolower(x) == std::tolower(y); });
    };
    for (std::uint32_t mode = 0; mode < kImageModeCount; ++mode)
        if (FindModeLayout(mode) && same(text, ImageModeName(mode)))
            return static_cast<ImageMode>(mode);
    throw UsageError("unknown mode " + text);
}
