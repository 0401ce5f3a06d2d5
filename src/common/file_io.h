#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Whole-file reads and writes for every layer: each checks every step, and a
// write that fails leaves nothing half written behind.
//
// Nothing is ever written through a symbolic link, and a device node, FIFO,
// socket or folder standing where a file is to be written is never replaced,
// removed or opened: such a path is refused with ELOOP (a link) or EEXIST
// (anything else that is not a regular file). Files are created exclusively
// (O_CREAT|O_EXCL|O_NOFOLLOW), so a link planted between the check and the
// creation makes the creation fail instead of being followed. A regular file
// at the path is replaced by a rename, which replaces the entry itself and
// never writes into what it pointed to.

// The system's error code of the call that just failed: errno, or EIO when
// the call set none. Clear errno before the call.
int LastSystemError();

// 0 when `path` may be written: nothing is there, or a regular file is;
// ELOOP, EEXIST (see above) or the system's error code otherwise.
int CheckWriteTarget(const std::string& path);

// "PATH: reason" for a write that failed with `error`, naming a refused link
// or special file as what it is.
std::string WriteErrorText(const std::string& path, int error);

// Removes the regular file at `path`. 0 when it is gone or was never there;
// ELOOP or EEXIST (see above) for an entry that is left alone; otherwise the
// system's error code.
int RemoveRegularFile(const std::string& path);

// A new, empty file at `path` for writing ("wb"): a regular file already
// there is removed first, anything else is refused. Null with `error` set on
// failure.
std::FILE* CreateFreshFile(const std::string& path, int& error);

// Flushes the file's data and then the entry of the folder holding it to the
// disk, so that a rename survives a power cut. 0 or the system's error code.
int SyncFileAndFolder(const std::string& path);

// How a file's bytes reach the disk: as they are, or with the platform's line
// ends for a text file.
enum class WriteMode { Binary, Text };

// Writes `size` bytes from `data` to `path`, through a temporary file beside
// it (path + ".tmp") renamed over it, so that a failure leaves the earlier
// file (if any) untouched and no temporary file behind. Returns 0 or the
// system's error code.
int WriteWholeFile(const std::string& path, const void* data, std::size_t size, WriteMode mode = WriteMode::Binary);

// WriteWholeFile with the temporary file `path` + `temporarySuffix`, and the
// file and its folder flushed to the disk around the rename: for files that
// must survive a power cut (the settings).
bool ReplaceWholeFile(const std::string& path, const void* data, std::size_t size, const char* temporarySuffix,
                      WriteMode mode = WriteMode::Binary);

// Reads the file to its end into `bytes`. On failure `errorCode` is the
// system's error code, EFBIG once the file holds more than `maxBytes`; a read
// that ends early is a failure too, so no byte the file did not supply is
// ever handed on.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
                   int& errorCode);

// The system calls behind the rules above, one implementation per platform.

// The line end of a text file on this platform: "\n", or "\r\n" on Windows.
const char* TextLineEnd();

// `text` with each "\n" that does not already follow a "\r" written as this
// platform's line end.
std::string WithPlatformLineEnds(std::string_view text);

// Flushes an open file's data to the disk (after fflush). 0 or the error.
int SyncOpenFile(std::FILE* file);

// Puts the file `from` in place of `to`, replacing a regular file there in
// one step. 0 or the system's error code.
int ReplaceFileEntry(const std::string& from, const std::string& to);

// fopen with a UTF-8 path, in binary mode whatever `mode` says: no platform
// changes the bytes read or written.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Whether `error` means the disk (or the user's share of it) is full.
bool IsDiskFullError(int error);

// Creates the file `path` exclusively, readable and writable by this user
// only, and never through a link. 0 or the system's error code (EEXIST when
// something is there already).
int CreatePrivateFile(const std::string& path);

// An open file that an earlier run or another program made readable by
// others is made this user's alone again (on Windows the user's data folder
// already grants no one else access).
void KeepOpenFilePrivate(std::FILE* file);

// 0 when this user may write the file `path`, else the system's error code
// (EACCES, EROFS …).
int CheckUserMayWrite(const std::string& path);

// A companion file of this user's (a database's journal) that an earlier run
// left read-only is made writable again: only a regular file, only this
// user's. True when it is writable now or absent.
bool MakeOwnFileWritable(const std::string& path);
