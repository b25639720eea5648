// File-writing steps for the tag writers. Every step can be made to fail by a
// test hook, so tests can show that a save interrupted at any step leaves the
// file as it was. Writers either finish or restore what they changed; a whole
// rewrite goes through a temporary file beside the original that replaces it
// by rename only once it is complete and flushed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tags {

namespace testhooks {
// Makes the step-th write step from now fail (1 = the next one); 0 turns the hook off.
// A numbered form of the one write-step hook all writers share (IniFile::SetFaultHook, which
// also reaches these steps by name). Process-wide; meant for single-threaded tests.
void SetWriteFault(int step);
// Write steps counted since the last SetWriteFault call.
int WriteStepsTaken();
}  // namespace testhooks

namespace io {

// Each function counts as one write step and returns false when it fails
// (really or by injection). An injected write failure writes half of the
// bytes first, like a disk that fills up mid-write.

// Gives the owner write permission if the file lacks it (the "read-only attribute").
bool ClearReadOnly(const std::string& path);
// Opens an existing regular file for reading and writing; -1 on failure.
int OpenForUpdate(const std::string& path);
bool WriteAt(int fd, const void* data, size_t n, int64_t offset);
bool Truncate(int fd, int64_t size);
bool Sync(int fd);
void Close(int fd);
// Creates a new empty file next to path (same folder, name + "~" or a unique
// variant of it); returns its descriptor and name, -1 on failure.
int CreateBeside(const std::string& path, std::string& tempPath);
// Copies [from, from + count) of src to the end of dst (at dstOffset) in large chunks.
bool CopyRange(int src, int64_t from, int64_t count, int dst, int64_t dstOffset);
// Gives dst the permission bits of path (write permission for the owner added).
bool CopyMode(const std::string& path, int dst);
// Renames tempPath over path and flushes the folder.
bool Replace(const std::string& tempPath, const std::string& path);
// Reads exactly n bytes at offset (not a write step).
bool ReadExact(int fd, void* data, size_t n, int64_t offset);

}  // namespace io
}  // namespace tags

namespace tags::io {
// Puts bytes back after a failed write: writes backup at offset and, when
// truncate is set, sets the file size to offset + backup size; then flushes.
// Not a write step (a rollback is never made to fail by the test hook).
bool Restore(int fd, const std::string& backup, int64_t offset, bool truncate = true);
}  // namespace tags::io
