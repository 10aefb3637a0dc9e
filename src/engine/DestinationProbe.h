#pragma once

namespace sentrel {

// What a destination's file system does with names and times, found once
// per run by making a file at its root and looking at it.
struct DestinationTraits {
    bool caseInsensitive = false; // "a" and "A" name the same entry (FAT, exFAT, NTFS through some drivers)
    long timeStep = 1; // seconds a modification time is kept to: 2 on FAT
    int error = 0; // the errno when no file could be made there
};

DestinationTraits ProbeDestination(int rootFd);

// Errors that mean the disk is gone or can not be written at all, so that
// every further file would fail the same way.
bool DiskUnusable(int error);

// Errors by which a file system says it does not keep permission bits,
// owners or times, rather than that the call went wrong.
bool MetadataRefused(int error);

} // namespace sentrel
