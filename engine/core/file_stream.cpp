#include "core/file_stream.h"

#include <utility>

#include "core/platform.h"

namespace orva {

namespace {

// Binary and not appending: every byte read or written moves the position by one.
template <typename Char>
bool Trackable(const Char* mode) {
  bool binary = false;
  for (; *mode; ++mode) {
    if (*mode == 'a' || *mode == 't') return false;
    if (*mode == 'b') binary = true;
  }
  return binary;
}

}  // namespace

FileStream::~FileStream() { Close(); }

void FileStream::WriteFailedNow() {
  // The first failure's code: later ones are mostly its consequence.
  if (!writeFailed_) writeError_ = FileWriteError();
  writeFailed_ = true;
}

FileStream::FileStream(FileStream&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      writeFailed_(std::exchange(other.writeFailed_, false)),
      writeError_(std::exchange(other.writeError_, 0)),
      buffer_(std::move(other.buffer_)),
      tracked_(std::exchange(other.tracked_, false)),
      position_(std::exchange(other.position_, -1)),
      last_(std::exchange(other.last_, Last::kNone)),
      seekSkipped_(std::exchange(other.seekSkipped_, false)) {}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
  if (this != &other) {
    Close();
    file_ = std::exchange(other.file_, nullptr);
    writeFailed_ = std::exchange(other.writeFailed_, false);
    writeError_ = std::exchange(other.writeError_, 0);
    buffer_ = std::move(other.buffer_);
    tracked_ = std::exchange(other.tracked_, false);
    position_ = std::exchange(other.position_, -1);
    last_ = std::exchange(other.last_, Last::kNone);
    seekSkipped_ = std::exchange(other.seekSkipped_, false);
  }
  return *this;
}

bool FileStream::Open(const std::wstring& path, const std::wstring& mode) {
  if (file_) Close();
  writeFailed_ = false;
  writeError_ = 0;
  file_ = OpenFile(path, mode);
  tracked_ = file_ && Trackable(mode.c_str());
  position_ = tracked_ ? 0 : -1;
  return file_ != nullptr;
}

bool FileStream::Open(const char* path, const char* mode) {
  if (file_) Close();
  writeFailed_ = false;
  writeError_ = 0;
  file_ = path && mode ? std::fopen(path, mode) : nullptr;
  tracked_ = file_ && Trackable(mode);
  position_ = tracked_ ? 0 : -1;
  return file_ != nullptr;
}

int FileStream::Close() {
  tracked_ = false;
  position_ = -1;
  last_ = Last::kNone;
  seekSkipped_ = false;
  if (!file_) return 0;
  ClearFileError();
  int r = std::fclose(file_);
  if (r != 0) WriteFailedNow();
  file_ = nullptr;
  buffer_.reset();
  return r;
}

// The runtime wants a seek between reading and writing: one that was
// skipped is made now, where the direction changes.
void FileStream::Access(Last direction) {
  if (seekSkipped_ && last_ != Last::kNone && last_ != direction) SeekSystem(position_, SEEK_SET);
  seekSkipped_ = false;
  last_ = direction;
}

void FileStream::Moved(size_t bytes, bool whole) {
  if (!tracked_ || position_ < 0) return;
  if (whole || !std::ferror(file_))
    position_ += static_cast<int64_t>(bytes);
  else
    position_ = -1;  // where a failed transfer left the file is the system's to say
}

size_t FileStream::Write(const void* buffer, uint32_t count) {
  if (!file_) {
    writeFailed_ = true;
    return 0;
  }
  Access(Last::kWrite);
  ClearFileError();
  size_t n = std::fwrite(buffer, 1, count, file_);
  if (n != count) {
    WriteFailedNow();
    position_ = -1;
  } else {
    Moved(n, true);
  }
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
  Access(Last::kRead);
  size_t n = std::fread(buffer, 1, count, file_);
  Moved(n, n == count);
  return n;
}

size_t FileStream::ReadItems(void* buffer, uint32_t itemSize, uint32_t itemCount) {
  if (!file_) return 0;
  Access(Last::kRead);
  size_t n = std::fread(buffer, itemSize, itemCount, file_);
  if (n == itemCount)
    Moved(n * itemSize, true);
  else
    position_ = -1;  // part of the next item may be gone too
  return n;
}

int FileStream::SeekSystem(int64_t offset, int origin) {
  const int r = SeekFile(file_, offset, origin);
  last_ = Last::kNone;
  seekSkipped_ = false;
  if (r != 0 || !tracked_)
    position_ = -1;
  else if (origin == SEEK_SET)
    position_ = offset;
  else if (origin == SEEK_CUR && position_ >= 0)
    position_ += offset;
  else
    position_ = -1;
  return r;
}

bool FileStream::SeekToBegin() { return file_ && Seek(0, 0) == 0; }

int FileStream::SeekToEnd() { return file_ ? Seek(0, 2) : -1; }

int FileStream::Seek(int64_t offset, int origin) {
  if (!file_) return -1;
  int o = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  // Nowhere to go: unless bytes wait to be written or the end or an error
  // was met (a seek clears those marks), the runtime's seek would change nothing.
  const bool here = (o == SEEK_SET && offset == position_) || (o == SEEK_CUR && offset == 0);
  if (tracked_ && position_ >= 0 && here && last_ != Last::kWrite && !std::feof(file_) && !std::ferror(file_)) {
    seekSkipped_ = true;
    return 0;
  }
  return SeekSystem(offset, o);
}

int64_t FileStream::SeekAbsolute(int64_t offset) {
  if (!file_) return -1;
  return static_cast<int64_t>(Seek(offset, 0));
}

int64_t FileStream::GetPosition() {
  if (!file_) return -1;
  if (tracked_ && position_ >= 0) return position_;
  const int64_t at = TellFile(file_);
  if (tracked_ && at >= 0) position_ = at;
  return at;
}

int64_t FileStream::GetLength() {
  int64_t pos = GetPosition();
  if (pos < 0 || SeekSystem(0, SEEK_END) != 0) return -1;
  int64_t len = GetPosition();
  SeekAbsolute(pos);
  return len;
}

int FileStream::Flush() {
  if (!file_) {
    writeFailed_ = true;
    return -1;
  }
  if (seekSkipped_ && last_ == Last::kRead) SeekSystem(position_, SEEK_SET);
  ClearFileError();
  int r = std::fflush(file_);
  if (r != 0) WriteFailedNow();
  // A runtime may drop what it read ahead without stepping the file back.
  if (last_ == Last::kRead) position_ = -1;
  last_ = Last::kNone;
  seekSkipped_ = false;
  return r;
}

}  // namespace orva
