// The ways a test makes a file write fail for real, without mounting: a
// file-size limit (writes past it fail as on a full disk), a read-only folder,
// and a folder in the way of the file or a folder that does not exist (the
// caller arranges these two).
#pragma once

#include "FileSizeLimit.h"
#include "ReadOnlyFolder.h"

#include <functional>
#include <string>

enum class WriteFailure { FileSizeLimit, ReadOnlyFolder, FolderInTheWay, MissingFolder };

inline const char* writeFailureName(WriteFailure how) {
    switch (how) {
        case WriteFailure::FileSizeLimit:
            return "file-size limit";
        case WriteFailure::ReadOnlyFolder:
            return "read-only folder";
        case WriteFailure::FolderInTheWay:
            return "a folder in the way";
        default:
            return "a missing folder";
    }
}

// Runs `write` while writes fail `how`: files may grow to `limit` bytes, or
// `folder` is read-only. False, without running it, when that could not be
// arranged.
inline bool underWriteFailure(WriteFailure how, const std::string& folder, unsigned long limit,
                              const std::function<void()>& write) {
    if (how == WriteFailure::FileSizeLimit) {
        FileSizeLimit limited(limit);
        if (!limited.ok()) return false;
        write();
    } else if (how == WriteFailure::ReadOnlyFolder) {
        ReadOnlyFolder readOnly(folder);
        if (!readOnly.ok()) return false;
        write();
    } else {
        write();
    }
    return true;
}
