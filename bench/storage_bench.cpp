// Compound files with many streams, as the storage itself writes them: open
// (the directory read and the tree built) and open plus reading every stream
// whole, from 1,000 to 40,000 streams. The peer is libgsf's own compound-file
// reader on the same files (open, then every stream opened by index and read),
// run up to 20,000 streams, where its list walks already take seconds.
#include <benchmark/benchmark.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/core/storage.h"

namespace {

// The peer is timed up to this many streams.
constexpr int kPeerLimit = 20000;

// A file of n streams of 100 to 2,000 bytes (pages and symbols of a large
// document), a tenth of them in sub-storages of 50; made once per size.
const std::string& FileWith(int n) {
  static std::map<int, std::string> made;
  auto it = made.find(n);
  if (it != made.end()) return it->second;
  std::string dir = std::filesystem::temp_directory_path().string() + "/storage_benchXXXXXX";
  if (::mkdtemp(dir.data()) == nullptr) std::abort();
  std::string path = dir + "/streams-" + std::to_string(n) + ".vmd";
  auto file = CCompoundFile::CreateTemporary();
  CStorage root = file->GetRootStorage();
  CStorage sub;
  std::vector<uint8_t> bytes(2000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  for (int i = 0; i < n; ++i) {
    bool nested = i % 10 == 0;
    if (nested && (i / 10) % 50 == 0) sub = root.CreateStorage("Symbols " + std::to_string(i));
    auto stream = (nested ? sub : root).CreateStream("Page " + std::to_string(i));
    stream->Write(bytes.data(), 100 + static_cast<size_t>(i * 37) % 1900);
    stream->Close();
  }
  file->SaveAs(path);
  return made.emplace(n, path).first->second;
}

int64_t ReadAll(const CStorage& storage) {
  int64_t total = 0;
  std::vector<uint8_t> buffer(4096);
  for (const auto& e : storage.EnumElements()) {
    if (e.isStorage) {
      total += ReadAll(storage.OpenStorage(e.name));
    } else {
      auto stream = storage.OpenStream(e.name);
      while (size_t n = stream->Read(buffer.data(), buffer.size()))
        total += static_cast<int64_t>(n);
    }
  }
  return total;
}

void BM_StorageOpen(benchmark::State& state) {
  const std::string& path = FileWith(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto file = CCompoundFile::Open(path);
    benchmark::DoNotOptimize(file->GetRootStorage().EnumElements().size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

int64_t GsfReadAll(GsfInfile* dir) {
  int64_t total = 0;
  std::vector<uint8_t> buffer(4096);
  int count = gsf_infile_num_children(dir);
  for (int i = 0; i < count; ++i) {
    GsfInput* child = gsf_infile_child_by_index(dir, i);
    if (child == nullptr) std::abort();
    if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
      total += GsfReadAll(GSF_INFILE(child));
    } else {
      while (gsf_input_remaining(child) > 0) {
        size_t n = std::min<size_t>(buffer.size(), static_cast<size_t>(gsf_input_remaining(child)));
        if (gsf_input_read(child, n, buffer.data()) == nullptr) std::abort();
        total += static_cast<int64_t>(n);
      }
    }
    g_object_unref(child);
  }
  return total;
}

// Seconds the peer takes to open the file and read it whole (once per size).
double GsfSeconds(int n) {
  static std::map<int, double> timed;
  auto it = timed.find(n);
  if (it != timed.end()) return it->second;
  gsf_init();
  const std::string& path = FileWith(n);
  auto start = std::chrono::steady_clock::now();
  GsfInput* input = gsf_input_stdio_new(path.c_str(), nullptr);
  GsfInfile* root = input != nullptr ? gsf_infile_msole_new(input, nullptr) : nullptr;
  if (root == nullptr) std::abort();
  benchmark::DoNotOptimize(GsfReadAll(root));
  g_object_unref(root);
  g_object_unref(input);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return timed.emplace(n, took.count()).first->second;
}

void BM_StorageOpenReadAll(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string& path = FileWith(n);
  int64_t bytes = 0;
  std::chrono::duration<double> took{};
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    auto file = CCompoundFile::Open(path);
    bytes += ReadAll(file->GetRootStorage());
    took += std::chrono::steady_clock::now() - start;
  }
  state.SetBytesProcessed(bytes);
  state.SetItemsProcessed(state.iterations() * state.range(0));
  if (n <= kPeerLimit) {
    double peer = GsfSeconds(n);
    state.counters["libgsf_ms"] = peer * 1000;
    state.counters["libgsf_ratio"] =
        peer / (took.count() / static_cast<double>(state.iterations()));
  }
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int n : {1000, 5000, 10000, 20000, 40000}) b->Arg(n);
  b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_StorageOpen)->Apply(Sizes);
BENCHMARK(BM_StorageOpenReadAll)->Apply(Sizes);

}  // namespace
