#include "core/file_stream.h"

#include <utility>

#include "core/platform.h"

namespace orva {

FileStream::~FileStream() { Close(); }

FileStream::FileStream(FileStream&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      writeFailed_(std::exchange(other.writeFailed_, false)),
      buffer_(std::move(other.buffer_)) {}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
  if (this != &other) {
    Close();
    file_ = std::exchange(other.file_, nullptr);
    writeFailed_ = std::exchange(other.writeFailed_, false);
    buffer_ = std::move(other.buffer_);
  }
  return *this;
}

bool FileStream::Open(const std::wstring& path, const std::wstring& mode) {
  if (file_) Close();
  writeFailed_ = false;
  file_ = OpenFile(path, mode);
  return file_ != nullptr;
}

bool FileStream::Open(const char* path, const char* mode) {
  if (file_) Close();
  writeFailed_ = false;
  file_ = path && mode ? std::fopen(path, mode) : nullptr;
  return file_ != nullptr;
}

int FileStream::Close() {
  if (!file_) return 0;
  int r = std::fclose(file_);
  if (r != 0) writeFailed_ = true;
  file_ = nullptr;
  buffer_.reset();
  return r;
}

size_t FileStream::Write(const void* buffer, uint32_t count) {
  if (!file_) {
    writeFailed_ = true;
    return 0;
  }
  size_t n = std::fwrite(buffer, 1, count, file_);
  if (n != count) writeFailed_ = true;
  return n;
}

void FileStream::SetBuffer(size_t bytes) {
  if (!file_) return;
  buffer_.reset(new char[bytes]);
  if (std::setvbuf(file_, buffer_.get(), _IOFBF, bytes) != 0) buffer_.reset();
}

bool FileStream::WriteAll(const void* buffer, uint32_t count) { return Write(buffer, count) == count; }

size_t FileStream::Read(void* buffer, uint32_t count) {
  if (!file_) return 0;
  return std::fread(buffer, 1, count, file_);
}

size_t FileStream::ReadItems(void* buffer, uint32_t itemSize, uint32_t itemCount) {
  if (!file_) return 0;
  return std::fread(buffer, itemSize, itemCount, file_);
}

bool FileStream::SeekToBegin() { return file_ && SeekFile(file_, 0, SEEK_SET) == 0; }

int FileStream::SeekToEnd() { return file_ ? SeekFile(file_, 0, SEEK_END) : -1; }

int FileStream::Seek(int64_t offset, int origin) {
  if (!file_) return -1;
  int o = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  return SeekFile(file_, offset, o);
}

int64_t FileStream::SeekAbsolute(int64_t offset) {
  if (!file_) return -1;
  return static_cast<int64_t>(SeekFile(file_, offset, SEEK_SET));
}

int64_t FileStream::GetPosition() { return file_ ? TellFile(file_) : -1; }

int64_t FileStream::GetLength() {
  int64_t pos = GetPosition();
  if (pos < 0 || SeekFile(file_, 0, SEEK_END) != 0) return -1;
  int64_t len = GetPosition();
  SeekAbsolute(pos);
  return len;
}

int FileStream::Flush() {
  int r = file_ ? std::fflush(file_) : -1;
  if (r != 0) writeFailed_ = true;
  return r;
}

}  // namespace orva
