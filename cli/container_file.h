// Container files as the subcommands use them: a file descriptor that is always closed and the
// open container over it.
#pragma once

#include "kld_ext.h"

#include <string>

// The byte budgets of the two read caches (see CKLDExt::DecodedCacheCapacity).
inline constexpr std::uint64_t kDecodedCacheBytes = 0x500000;
inline constexpr std::uint64_t kDecoderCacheBytes = 0x400000;

// True for the container's extension, ".kle" in any case.
bool IsContainerPath(const std::string& path);

class FileDescriptor {
public:
    // Opens with open(2) flags; throws ImageFileError with the system's text.
    FileDescriptor(const std::string& path, int flags);
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Regions: read-only, for reading tiles and the header; the preview is checked, not decoded.
// Fill: a new file being filled, read-write; its writes reach the disk together at Finish()
// instead of at every commit, since an interrupted fill leaves no content worth keeping.
enum class ContainerAccess { Read, Regions, Write, Fill };

class ContainerFile {
public:
    // Opens the container; IOException for a file that is not a sound container. With
    // `previewMayFail`, a container whose only fault is its preview stays open without one, for
    // the preview to be rebuilt.
    ContainerFile(const std::string& path, ContainerAccess access, bool previewMayFail = false);

    CKLDExt& operator*() { return container_; }
    CKLDExt* operator->() { return &container_; }
    // False for an older file, readable but due for reorganising.
    bool HasCurrentStructure() const { return current_; }
    // Set when the preview could not be read (only with `previewMayFail`).
    bool PreviewDamaged() const { return previewDamaged_; }
    std::uint64_t FileSize() const;
    // Cuts the file at `size`; nothing past it may be referred to.
    void Truncate(std::uint64_t size);
    // Makes what was written last, with ContainerAccess::Fill: everything written.
    void Finish();

private:
    FileDescriptor fd_; // declared first: the container lets go of it before it closes
    CKLDExt container_;
    bool current_ = true;
    bool previewDamaged_ = false;
};

// Makes a new container file (replacing one at the path) with an empty index and a preview of
// the given size.
void CreateContainerFile(const std::string& path, const KLDExtHeader& header,
                         std::uint32_t previewWidth, std::uint32_t previewHeight);
