#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "catalogue/SVDStream.h"

namespace {

// The record mix of a book: small counts and flags, a few large numbers, a handful of texts.
void WriteBookLikeRecords(TSVDStream& w, int books) {
    for (int i = 0; i < books; ++i) {
        w.WriteInt(i & 0x7F);
        w.WriteInt(i);
        w.WriteInt(i * 1000);
        w.WriteDWord(static_cast<uint32_t>(i) * 2654435761u);
        w.WriteStr("Title of book number " + std::to_string(i));
        w.WriteStr("file" + std::to_string(i) + ".fb2");
        w.WriteStr("");
    }
}

void BM_WriteRecords(benchmark::State& state) {
    const int books = static_cast<int>(state.range(0));
    for (auto _ : state) {
        TSVDStream w({}, false);
        WriteBookLikeRecords(w, books);
        benchmark::DoNotOptimize(w.FileImage());
    }
    state.SetItemsProcessed(state.iterations() * books);
}
BENCHMARK(BM_WriteRecords)->Arg(10'000)->Arg(500'000)->Unit(benchmark::kMillisecond);

void BM_ReadRecords(benchmark::State& state) {
    const int books = static_cast<int>(state.range(0));
    TSVDStream w({}, false);
    WriteBookLikeRecords(w, books);
    const std::vector<uint8_t> image = w.FileImage();
    for (auto _ : state) {
        auto r = TSVDStream::FromBytes(image);
        for (int i = 0; i < books; ++i) {
            benchmark::DoNotOptimize(r->ReadInt() + r->ReadInt() + r->ReadInt());
            benchmark::DoNotOptimize(r->ReadDWord());
            benchmark::DoNotOptimize(r->ReadStr());
            benchmark::DoNotOptimize(r->ReadStr());
            benchmark::DoNotOptimize(r->ReadStr());
        }
    }
    state.SetItemsProcessed(state.iterations() * books);
    state.counters["file_MiB"] = static_cast<double>(image.size()) / (1 << 20);
}
BENCHMARK(BM_ReadRecords)->Arg(10'000)->Arg(500'000)->Unit(benchmark::kMillisecond);

}  // namespace
