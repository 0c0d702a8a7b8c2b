// Raw byte file over the C runtime's FILE with 64-bit positions. It owns its
// file: the destructor closes it, and a stream moves but is never copied.
// In binary modes other than append the stream keeps its position itself:
// asking for it, and seeking to where the stream already is, cost no system
// call (the runtime's tell and seek each ask the system under Wine).
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace orva {

class FileStream {
 public:
  FileStream() = default;
  // Closes the file, before the buffer it may use is freed.
  ~FileStream();
  FileStream(FileStream&& other) noexcept;
  FileStream& operator=(FileStream&& other) noexcept;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  bool Open(const std::wstring& path, const std::wstring& mode);
  // Path in the system's ANSI code page, for the char-based GUI programs.
  bool Open(const char* path, const char* mode);
  int Close();
  bool IsOpen() const { return file_ != nullptr; }

  size_t Write(const void* buffer, uint32_t count);
  bool WriteAll(const void* buffer, uint32_t count);
  size_t Read(void* buffer, uint32_t count);
  size_t ReadItems(void* buffer, uint32_t itemSize, uint32_t itemCount);

  bool SeekToBegin();                    // true on success
  int SeekToEnd();                       // 0 on success
  int Seek(int64_t offset, int origin);  // 0 on success; origin 0 begin, 1 current, 2 end
  int64_t SeekAbsolute(int64_t offset);  // 0 on success
  int64_t GetPosition();                 // -1 on failure
  int64_t GetLength();                   // leaves the position unchanged
  int Flush();

  // A larger runtime buffer for streams written in long runs.
  void SetBuffer(size_t bytes);
  // True once a write, flush or close of this stream failed since Open.
  bool WriteFailed() const { return writeFailed_; }
  // The system's error code of the first failed write, flush or close; 0
  // when none failed.
  long WriteError() const { return writeError_; }

  FILE* Handle() const { return file_; }

 private:
  enum class Last : uint8_t { kNone, kRead, kWrite };
  int SeekSystem(int64_t offset, int origin);
  void Access(Last direction);
  void Moved(size_t bytes, bool whole);
  void WriteFailedNow();

  FILE* file_ = nullptr;
  bool writeFailed_ = false;
  long writeError_ = 0;
  std::unique_ptr<char[]> buffer_;
  bool tracked_ = false;      // byte counts are positions
  int64_t position_ = -1;     // -1: only the system knows it
  Last last_ = Last::kNone;   // since the last seek or flush
  bool seekSkipped_ = false;  // a seek to where the stream was went no further
};

}  // namespace orva
