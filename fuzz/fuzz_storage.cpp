// Reads random bytes as a compound file: the bytes are written to a file,
// opened, walked, every stream read whole, saved as a copy and the copy
// reopened, which must hold the same streams.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/core/exceptions.h"
#include "platform/core/storage.h"

namespace {

using Tree = std::map<std::string, std::vector<uint8_t>>;

void Collect(const CStorage& storage, const std::string& prefix, Tree& out) {
  for (const auto& e : storage.EnumElements()) {
    if (e.isStorage) {
      Collect(storage.OpenStorage(e.name), prefix + e.name + "/", out);
    } else {
      auto stream = storage.OpenStream(e.name);
      std::vector<uint8_t> bytes(static_cast<size_t>(stream->GetLength()));
      if (stream->Read(bytes.data(), bytes.size()) != bytes.size()) std::abort();
      out[prefix + e.name] = std::move(bytes);
    }
  }
}

// A directory of its own for the two files, on a memory file system where
// there is one (saving syncs the file to its disk); removed at exit.
char g_dir[64];

void RemoveWorkDir() {
  std::remove((std::string(g_dir) + "/input.vmd").c_str());
  std::remove((std::string(g_dir) + "/copy.vmd").c_str());
  ::rmdir(g_dir);
}

std::string WorkDir() {
  if (g_dir[0] == 0) {
    std::snprintf(g_dir, sizeof g_dir, "%s/fuzz_storage_XXXXXX",
                  ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    if (::mkdtemp(g_dir) == nullptr) std::abort();
    std::atexit(RemoveWorkDir);
  }
  return g_dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = WorkDir() + "/input.vmd";
  const std::string copy = WorkDir() + "/copy.vmd";
  FILE* f = std::fopen(input.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  Tree original;
  std::unique_ptr<CCompoundFile> file;
  try {
    file = CCompoundFile::Open(input);
    Collect(file->GetRootStorage(), "", original);
  } catch (const CFileException&) {
    return 0;  // refused: the expected outcome for most inputs
  }
  // What opened is sound: it saves, and the copy reads back the same.
  file->SaveAs(copy);
  Tree reread;
  Collect(CCompoundFile::Open(copy)->GetRootStorage(), "", reread);
  if (reread != original) std::abort();
  return 0;
}
