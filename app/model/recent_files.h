// The most recently used files of the File menu: most recent first, at most four, each file once
// however it was named (entries are kept as canonical paths).
#pragma once

#include <string>
#include <vector>

class RecentFiles {
public:
    static constexpr std::size_t kMaxEntries = 4;

    explicit RecentFiles(const std::vector<std::string>& entries = {});

    const std::vector<std::string>& Entries() const { return entries_; }
    // Puts the file first; an entry for the same file goes, and the oldest beyond four.
    void Add(const std::string& path);
    void Remove(const std::string& path);

private:
    std::vector<std::string> entries_;
};
