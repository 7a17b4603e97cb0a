#pragma once

// File errors as the operator reads them, and opening a file that must be a regular one.

#include <QString>

namespace platform {

// What a file error means, for a message in Russian: the common causes (no space, a size limit,
// a read-only disk, no permission, not found, not a regular file) in our own words, anything
// rarer in the system's. Empty for 0. Every file error the operator is told goes through here.
QString fileErrorText(int systemError);

// Not a system error: the name stands for a FIFO, a device, a socket or a folder where a regular
// file was wanted.
inline constexpr int kNotRegularFile = -1;

// Opens `path` with `flags` (O_RDONLY, O_RDWR …) only when it is a regular file: never waiting
// for a FIFO's writer or a device, and without following a symbolic link unless `followLinks`.
// With `ownOnly`, a file of another user is refused too. Returns the descriptor (close-on-exec,
// blocking), or -1 with `error` set to errno or kNotRegularFile.
int openRegularFile(const QString& path, int flags, bool followLinks, bool ownOnly, int& error);

} // namespace platform
