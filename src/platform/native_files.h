#pragma once
// The few file operations that each operating system does its own way: the crash-safe
// replace, the rename that never replaces, the durable append of the journal.  files.cpp
// builds the FileSystem on these; native_files_posix.cpp and native_files_windows.cpp
// implement them.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace lm::native {

// Writes `data` to a new temporary file beside `path`, checks every byte, flushes it to
// the disk and then gives it the name `path` in one step: replacing an existing file when
// `replace`, failing when the name is taken otherwise.  The temporary file is gone again
// on any failure, and the old file is untouched.  An `executable` file can be run from the
// moment it has its name (where files carry a run bit).
bool writeDurably(const QString& path, const QByteArray& data, bool replace,
                  bool executable = false);

// Renames `from` to `to` only when no file of that name exists yet.
bool renameNoReplace(const QString& from, const QString& to);

// True when both names lead to one and the same existing file.
bool sameFile(const QString& a, const QString& b);

// A file opened for appending whose writes can be made durable.
class AppendFile {
  public:
    AppendFile() = default;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    ~AppendFile() { close(); }

    // Opens (creating it) for appending, and makes the new name itself durable.
    bool open(const QString& path);
    bool isOpen() const { return handle_ != kClosed; }
    // Writes all of `data`; false when any byte could not be written.
    bool write(const QByteArray& data);
    // Makes every byte written so far durable; may run on another thread than write().
    bool sync();
    void close();

  private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;
};

} // namespace lm::native
