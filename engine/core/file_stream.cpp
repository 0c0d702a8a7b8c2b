#include "core/file_stream.h"

#ifndef _WIN32
#include <cstdlib>
#include <vector>
#endif

namespace orva {

namespace {
#ifdef _WIN32
int Seek64(FILE* f, int64_t off, int origin) { return _fseeki64(f, off, origin); }
int64_t Tell64(FILE* f) { return _ftelli64(f); }
#else
int Seek64(FILE* f, int64_t off, int origin) { return fseeko(f, static_cast<off_t>(off), origin); }
int64_t Tell64(FILE* f) { return static_cast<int64_t>(ftello(f)); }

std::string Narrow(const std::wstring& w) {
  std::string out;
  std::mbstate_t st{};
  for (wchar_t c : w) {
    char buf[8];
    size_t n = std::wcrtomb(buf, c, &st);
    if (n == static_cast<size_t>(-1)) {
      out.push_back('?');
      st = std::mbstate_t{};
    } else {
      out.append(buf, n);
    }
  }
  return out;
}
#endif
}  // namespace

FileStream::~FileStream() { Close(); }

bool FileStream::Open(const std::wstring& path, const std::wstring& mode) {
  if (file_) Close();
  writeFailed_ = false;
#ifdef _WIN32
  FILE* f = nullptr;
  if (_wfopen_s(&f, path.c_str(), mode.c_str()) != 0) f = nullptr;
  file_ = f;
#else
  file_ = std::fopen(Narrow(path).c_str(), Narrow(mode).c_str());
#endif
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

bool FileStream::SeekToBegin() { return file_ && Seek64(file_, 0, SEEK_SET) == 0; }

int FileStream::SeekToEnd() { return file_ ? Seek64(file_, 0, SEEK_END) : -1; }

int FileStream::Seek(int64_t offset, int origin) {
  if (!file_) return -1;
  int o = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  return Seek64(file_, offset, o);
}

int64_t FileStream::SeekAbsolute(int64_t offset) {
  if (!file_) return -1;
  return static_cast<int64_t>(Seek64(file_, offset, SEEK_SET));
}

int64_t FileStream::GetPosition() { return file_ ? Tell64(file_) : -1; }

int64_t FileStream::GetLength() {
  int64_t pos = GetPosition();
  if (pos < 0 || Seek64(file_, 0, SEEK_END) != 0) return -1;
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
