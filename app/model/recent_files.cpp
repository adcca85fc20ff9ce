#include "recent_files.h"

#include <algorithm>
#include <filesystem>

namespace {

// The file's canonical name; a file that no longer exists keeps its absolute name.
std::string Canonical(const std::string& path) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    if (!error) return canonical.string();
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

} // namespace

RecentFiles::RecentFiles(const std::vector<std::string>& entries) {
    // Stored lists may come from another version or a hand edit: oldest last, so adding them
    // in reverse keeps their order and the rules.
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        if (!entry->empty()) Add(*entry);
}

void RecentFiles::Add(const std::string& path) {
    Remove(path);
    entries_.insert(entries_.begin(), Canonical(path));
    if (entries_.size() > kMaxEntries) entries_.resize(kMaxEntries);
}

void RecentFiles::Remove(const std::string& path) { std::erase(entries_, Canonical(path)); }
