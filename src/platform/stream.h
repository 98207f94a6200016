// Byte streams with a position: files on disk and blocks of memory. Every read, write and copy
// loop the program runs against the system lives behind this header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kvb {

// A file as the system knows it, whatever name or link leads to it: two names with the same
// identity are the same file.
struct TFileIdentity {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    friend bool operator==(const TFileIdentity &, const TFileIdentity &) = default;
};

// A file's size and the time of its last change of content, as the system keeps them: what
// make and rsync compare to tell a file unchanged without reading it. Modified counts
// nanoseconds since 1970-01-01 UTC, in the steps the file system keeps. Two stamps that differ
// mean the file may have been written in between; equal ones are taken to mean it was not,
// unless the earlier look was Recent: a write within the same tick of the file system's clock
// leaves the time as it was.
struct TFileStamp {
    int64_t Size = 0;
    int64_t Modified = 0;
    // Written less than two seconds (the coarsest clock, FAT's) before the look; set only by
    // FileStamp, which knows when it looked.
    bool Recent = false;
    friend bool operator==(const TFileStamp &a, const TFileStamp &b)
    {
        return a.Size == b.Size && a.Modified == b.Modified;
    }
};

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes at the position; returns how many were read (fewer only at the end).
    virtual int64_t Read(void *buffer, int64_t count) = 0;
    // Writes count bytes at the position or raises EWriteError.
    virtual void Write(const void *buffer, int64_t count) = 0;
    virtual int64_t Size() const = 0;

    int64_t Position() const { return position_; }
    // Positions outside 0..INT64_MAX are refused with EReadError; past the end is allowed.
    void Seek(int64_t position);

    // Reads exactly count bytes or raises EReadError.
    void ReadBuffer(void *buffer, int64_t count);
    void WriteBuffer(const void *buffer, int64_t count) { Write(buffer, count); }

protected:
    int64_t position_ = 0;
};

// Called before every write, resize, kernel copy and flush of a file, with what is about to be
// done. Empty but for tests, which raise from it to fail or cut short an edit at that point.
using TFileWriteHook = void (*)(const char *operation);
extern TFileWriteHook FileWriteHook;

// What the system hands out for an open file: a descriptor on Linux, a HANDLE on Windows, each
// stored in an integer wide enough for a pointer.
using TFileHandle = intptr_t;
inline constexpr TFileHandle kNoFileHandle = -1;

class TOpenFolder;

// A file on disk, opened for reading or for editing; new files come from TOutputFile.
class TFileStream : public TStream {
public:
    enum class Mode {
        OpenRead,       // read only; other openers unrestricted
        OpenReadWrite,  // read and write; other editors are kept out, readers are not
        OpenReadLocked, // read only, and other editors are kept out as by OpenReadWrite
    };

    // Opens an existing plain file; raises EFOpenError naming fileName, with the reason when
    // something else stands there (a folder, a pipe, a device) or another editor holds it.
    // Never waits for a pipe's writer, nor for the other editor. New files are written through
    // TOutputFile.
    TFileStream(const std::string &fileName, Mode mode);
    // The same, for reading, of the file name in folder, found without walking the folder's
    // path again; a name that is not a plain file name there is refused. Without followLinks a
    // link standing at the name is refused too ("it is a link"), never followed.
    TFileStream(const TOpenFolder &folder, const std::string &name, bool followLinks = true);
    // Takes over a handle the platform layer opened itself; it is closed with the stream.
    TFileStream(TFileHandle handle, const std::string &fileName);
    ~TFileStream() override;
    TFileStream(const TFileStream &) = delete;
    TFileStream &operator=(const TFileStream &) = delete;

    int64_t Read(void *buffer, int64_t count) override;
    void Write(const void *buffer, int64_t count) override;
    int64_t Size() const override;

    // Reads at an absolute position without moving the stream's position.
    int64_t ReadAt(int64_t position, void *buffer, int64_t count) const;
    // Writes all count bytes at an absolute position without moving the stream's position, or
    // raises EWriteError.
    void WriteAt(int64_t position, const void *buffer, int64_t count);
    // Copies up to count bytes from source at sourcePosition to position in this file inside the
    // kernel, without passing them through this process. Returns how many it copied: fewer at
    // the source's end, on an error, or none where the system offers no such copy between these
    // two files; the caller copies the rest itself, which also tells the errors apart.
    int64_t CopyFrom(const TFileStream &source, int64_t sourcePosition, int64_t position, int64_t count);
    // Cuts or extends the file to size bytes; raises EWriteError.
    void SetSize(int64_t size);
    // Makes every write so far durable; raises EWriteError.
    void Flush();
    // Closes the file now and reports what the system says on closing, as EWriteError; the
    // stream is unusable afterwards. The destructor closes silently.
    void Close();

    // The file's size when the stream was opened by name, without asking the system again.
    int64_t OpenedSize() const { return openedSize_; }
    // Which file this is, whatever name it was opened by.
    TFileIdentity Identity() const;
    // The file's size and last modification as the system has them now.
    TFileStamp Stamp() const;
    // How many names (hard links) the file has.
    int64_t LinkCount() const;
    TFileHandle Handle() const { return handle_; }
    const std::string &FileName() const { return fileName_; }

private:
    // Opens name relative to the folder at (on POSIX systems; Windows opens by the whole path).
    void Open(TFileHandle at, const std::string &name, Mode mode, bool followLinks = true);

    std::string fileName_;
    TFileHandle handle_ = kNoFileHandle;
    int64_t openedSize_ = -1;
    mutable std::optional<TFileIdentity> identity_;
};

// Copies count bytes from source at sourcePosition to target at position: inside the kernel
// where it can, through a buffer for the rest. EReadError when the source ends first.
void CopyFileRange(const TFileStream &source, int64_t sourcePosition, TFileStream &target,
                   int64_t position, int64_t count);

// A growable block of memory; used where bytes are built or parsed without a file.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

    int64_t Read(void *buffer, int64_t count) override;
    void Write(const void *buffer, int64_t count) override;
    int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }

    const std::string &Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

} // namespace kvb
