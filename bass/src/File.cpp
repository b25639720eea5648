// Byte sources of streams: a file region, a memory block, or user file procedures.
#include "Core.h"
#include "Net.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

struct ORV_FILE {
  enum Kind { Path, Memory, User, Net } kind;
  FILE* f = nullptr;
  const uint8_t* mem = nullptr;
  QWORD offset = 0;  // start of the region in the file
  QWORD size = 0;    // region size
  QWORD pos = 0;     // relative to the region
  std::string name;
  BASS_FILEPROCS procs{};
  void* user = nullptr;
  bool userSeekable = true;
  // A user file that cannot seek keeps what the format probes read from its start, so that the
  // next probe can read it again (FileRewind); dropped once a decoder has the file and read past it.
  std::vector<uint8_t> head;
  bool keepHead = false;
  orvbass::NetStore* net = nullptr;  // not owned
};

namespace orvbass {

static std::string WideToUtf8(const wchar_t* w) {
  std::string out;
  for (; *w; ++w) {
    uint32_t c = uint32_t(*w);
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

ORV_FILE* FileOpen(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
  if (!file) return Fail<ORV_FILE*>(BASS_ERROR_FILEOPEN, nullptr);
  auto* f = new ORV_FILE{};
  if (mem) {
    if (length == 0) {
      delete f;
      return Fail<ORV_FILE*>(BASS_ERROR_ILLPARAM, nullptr);
    }
    f->kind = ORV_FILE::Memory;
    f->mem = static_cast<const uint8_t*>(file) + offset;
    f->size = length;
    return f;
  }
  f->kind = ORV_FILE::Path;
  f->name = (flags & BASS_UNICODE) ? WideToUtf8(static_cast<const wchar_t*>(file))
                                   : std::string(static_cast<const char*>(file));
  f->f = std::fopen(f->name.c_str(), "rb");
  if (!f->f) {
    delete f;
    return Fail<ORV_FILE*>(BASS_ERROR_FILEOPEN, nullptr);
  }
  std::fseek(f->f, 0, SEEK_END);
  long total = std::ftell(f->f);
  if (total < 0 || QWORD(total) < offset) {
    std::fclose(f->f);
    delete f;
    return Fail<ORV_FILE*>(BASS_ERROR_FILEOPEN, nullptr);
  }
  f->offset = offset;
  f->size = QWORD(total) - offset;
  if (length && length < f->size) f->size = length;
  std::fseek(f->f, long(offset), SEEK_SET);
  return f;
}

ORV_FILE* FileOpenUser(DWORD system, const BASS_FILEPROCS* procs, void* user) {
  if (!procs || !procs->read) return Fail<ORV_FILE*>(BASS_ERROR_ILLPARAM, nullptr);
  auto* f = new ORV_FILE{};
  f->kind = ORV_FILE::User;
  f->procs = *procs;
  f->user = user;
  f->userSeekable = system == STREAMFILE_NOBUFFER && procs->seek;
  f->keepHead = !f->userSeekable;
  f->size = procs->length ? procs->length(user) : 0;
  return f;
}

ORV_FILE* FileOpenNet(NetStore* store) {
  auto* f = new ORV_FILE{};
  f->kind = ORV_FILE::Net;
  f->net = store;
  return f;
}

bool FileIsNet(ORV_FILE* f) { return f && f->kind == ORV_FILE::Net; }

void FileClose(ORV_FILE* f) {
  if (!f) return;
  if (f->f) std::fclose(f->f);
  if (f->kind == ORV_FILE::User && f->procs.close) f->procs.close(f->user);
  delete f;
}

DWORD FileRead(ORV_FILE* f, void* buf, DWORD len) {
  if (!f || !buf || len == 0) return 0;
  if (f->kind == ORV_FILE::Net) {
    // Parsers expect whole reads, as from a file: wait for the rest (or the end of the stream).
    DWORD got = 0;
    while (got < len) {
      DWORD n = NetStoreRead(f->net, static_cast<uint8_t*>(buf) + got, len - got);
      if (n == 0) break;
      got += n;
    }
    return got;
  }
  if (f->kind != ORV_FILE::User || f->size) {
    if (f->pos >= f->size) return 0;
    if (QWORD(len) > f->size - f->pos) len = DWORD(f->size - f->pos);
  }
  DWORD got = 0;
  switch (f->kind) {
    case ORV_FILE::Memory:
      std::memcpy(buf, f->mem + f->pos, len);
      got = len;
      break;
    case ORV_FILE::Path:
      got = DWORD(std::fread(buf, 1, len, f->f));
      break;
    case ORV_FILE::User: {
      auto* out = static_cast<uint8_t*>(buf);
      if (f->pos < f->head.size()) {
        got = DWORD(std::min<QWORD>(len, f->head.size() - f->pos));
        std::memcpy(out, f->head.data() + f->pos, got);
      }
      if (got < len) {
        DWORD n = f->procs.read(out + got, len - got, f->user);
        if (n == DWORD(-1)) n = 0;
        if (f->keepHead) f->head.insert(f->head.end(), out + got, out + got + n);
        got += n;
      }
      if (!f->keepHead && !f->head.empty() && f->pos + got >= f->head.size()) std::vector<uint8_t>().swap(f->head);
      break;
    }
    case ORV_FILE::Net:
      break;
  }
  f->pos += got;
  return got;
}

DWORD FileReadSome(ORV_FILE* f, void* buf, DWORD len) {
  if (f && f->kind == ORV_FILE::Net && buf && len) return NetStoreRead(f->net, buf, len);
  return FileRead(f, buf, len);
}

BOOL FileSeek(ORV_FILE* f, QWORD pos) {
  if (!f) return FALSE;
  if (f->kind == ORV_FILE::Net) return NetStoreSeek(f->net, pos) ? TRUE : FALSE;
  if (f->kind != ORV_FILE::User || f->size) {
    if (pos > f->size) return FALSE;
  }
  switch (f->kind) {
    case ORV_FILE::Memory:
      break;
    case ORV_FILE::Path:
      if (std::fseek(f->f, long(f->offset + pos), SEEK_SET) != 0) return FALSE;
      break;
    case ORV_FILE::User:
      if (!f->userSeekable || !f->procs.seek(pos, f->user)) return FALSE;
      break;
    case ORV_FILE::Net:
      break;
  }
  f->pos = pos;
  return TRUE;
}

bool FileRewind(ORV_FILE* f) {
  if (FileSeek(f, 0)) return true;
  if (!f || f->kind != ORV_FILE::User) return false;
  if (f->pos == 0) return true;
  if (!f->keepHead) return false;
  f->pos = 0;
  return true;
}

void FileProbed(ORV_FILE* f) {
  if (!f || !f->keepHead) return;
  f->keepHead = false;
  if (f->pos >= f->head.size()) std::vector<uint8_t>().swap(f->head);
}

QWORD FileTell(ORV_FILE* f) {
  if (f && f->kind == ORV_FILE::Net) return NetStoreTell(f->net);
  return f ? f->pos : 0;
}
QWORD FileSize(ORV_FILE* f) {
  if (f && f->kind == ORV_FILE::Net) return NetStoreSize(f->net);
  return f ? f->size : 0;
}
const char* FileName(ORV_FILE* f) { return f && f->kind == ORV_FILE::Path ? f->name.c_str() : nullptr; }

std::function<size_t(QWORD, void*, size_t)> FileHeadReader(ORV_FILE* f, QWORD limit) {
  return [f, limit](QWORD pos, void* buf, size_t n) -> size_t {
    if (!f || f->kind != ORV_FILE::User || !f->keepHead || pos >= limit) return 0;
    n = size_t(std::min<QWORD>(n, limit - pos));
    if (f->head.size() < pos + n) {
      // Read on from the end of the head: what is read is kept there.
      std::vector<uint8_t> more(size_t(pos + n - f->head.size()));
      f->pos = f->head.size();
      FileRead(f, more.data(), DWORD(more.size()));
    }
    if (pos >= f->head.size()) return 0;
    n = std::min<size_t>(n, size_t(f->head.size() - pos));
    std::memcpy(buf, f->head.data() + pos, n);
    return n;
  };
}

std::function<size_t(QWORD, void*, size_t)> FileReaderAt(ORV_FILE* f) {
  return [f](QWORD pos, void* buf, size_t n) -> size_t {
    if (FileTell(f) != pos && !FileSeek(f, pos)) return 0;
    return FileRead(f, buf, DWORD(n));
  };
}

}  // namespace orvbass
