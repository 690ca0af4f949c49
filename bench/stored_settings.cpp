// Stored settings: what a decoder window pays at start-up and on closing, with the file shared by 16 receivers,
// and the protocol list refill over the 35 defaults.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "protocols/configuration.h"
#include "protocols/protocol_library.h"

namespace {

using namespace sirrel;

constexpr uint32_t kReceivers = 16;

std::string ScratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "sirrel-bench-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern + "/" : std::string("./");
}

std::string SharedConfiguration(const std::string &folder)
{
    const std::string file = folder + "Sirrel_Config.dat";
    Configuration c;
    for (uint32_t key = 0; key < kReceivers; ++key)
        SaveConfiguration(file, key, c);
    return file;
}

void BM_SaveConfiguration(benchmark::State &state)
{
    const std::string folder = ScratchFolder();
    const std::string file = SharedConfiguration(folder);
    Configuration c;
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveConfiguration(file, kReceivers - 1, c));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SaveConfiguration);

void BM_LoadConfiguration(benchmark::State &state)
{
    const std::string folder = ScratchFolder();
    const std::string file = SharedConfiguration(folder);
    Configuration c;
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadConfiguration(file, kReceivers - 1, 0, 0, c));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LoadConfiguration);

void BM_LoadProtocolList(benchmark::State &state)
{
    const std::string folder = ScratchFolder();
    SettingsModel settings;
    ProtocolLibrary library(folder + "SirrelSettings.dat", settings);
    library.CreateDefault([](const std::string &) { return true; });
    for (auto _ : state) {
        library.LoadList();
        benchmark::DoNotOptimize(library.List().names.data());
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LoadProtocolList);

} // namespace
