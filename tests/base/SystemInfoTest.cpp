#include "base/SystemInfo.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace pictavo;

namespace {

TProcessorInfo CpuInfo(const std::string& text) {
    std::istringstream in(text);
    return ParseCpuInfo(in);
}

TMemoryInfo MemInfo(const std::string& text) {
    std::istringstream in(text);
    return ParseMemInfo(in);
}

// One x86 logical processor's block, as /proc/cpuinfo lists it.
std::string X86Block(int processor, int physical, int core) {
    return "processor\t: " + std::to_string(processor) +
           "\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 60\n"
           "model name\t: Intel(R) Core(TM) i7-4770 CPU   @ 3.40GHz\ncpu MHz\t\t: 3392.164\n"
           "physical id\t: " +
           std::to_string(physical) + "\nsiblings\t: 8\ncore id\t\t: " + std::to_string(core) +
           "\ncpu cores\t: 4\nflags\t\t: fpu vme de pse\n\n";
}

}  // namespace

TEST(SystemInfo, CpuInfoGivesModelThreadsAndCores) {
    std::string twoSockets;  // 2 packages x 2 cores x 2 threads; core ids repeat across packages
    for (int p = 0; p < 8; ++p) twoSockets += X86Block(p, p / 4, p % 2);
    const struct {
        const char* name;
        std::string text;
        std::string model;
        unsigned threads, cores;
    } cases[] = {
        {"x86, blanks collapsed", twoSockets, "Intel(R) Core(TM) i7-4770 CPU @ 3.40GHz", 8, 4},
        {"old ARM names the model under Processor",
         "Processor\t: ARMv7 Processor rev 10 (v7l)\nprocessor\t: 0\nBogoMIPS\t: 3.00\n\n"
         "processor\t: 1\nBogoMIPS\t: 3.00\n\nHardware\t: Freescale i.MX 6Quad\n",
         "ARMv7 Processor rev 10 (v7l)", 2, 0},
        {"model name wins over a later cpu field", "processor : 0\nmodel name : Best\ncpu : Lesser\n", "Best", 1, 0},
        {"PowerPC", "processor\t: 0\ncpu\t\t: POWER9, altivec supported\nclock\t\t: 2166MHz\n",
         "POWER9, altivec supported", 1, 0},
        {"no model, stray lines", "garbage without colon\nprocessor : x\nmodel name :\n", "", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TProcessorInfo info = CpuInfo(c.text);
        EXPECT_EQ(info.Model, c.model);
        EXPECT_EQ(info.Threads, c.threads);
        EXPECT_EQ(info.Cores, c.cores);
    }
}

TEST(SystemInfo, MemInfoGivesTotalAndAvailable) {
    const struct {
        const char* name;
        std::string text;
        uint64_t total, available;
    } cases[] = {
        {"current kernel",
         "MemTotal:       16303384 kB\nMemFree:         1093044 kB\nMemAvailable:   10241340 kB\n"
         "Buffers:          429968 kB\nCached:          8619540 kB\nHugePages_Total:       0\n",
         16303384ull * 1024, 10241340ull * 1024},
        {"without MemAvailable: free + buffers + cache",
         "MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 20 kB\nCached: 300 kB\n", 1000ull * 1024, 420ull * 1024},
        {"available never above total", "MemTotal: 10 kB\nMemAvailable: 99 kB\n", 10240, 10240},
        {"overflowing and malformed values ignored",
         "MemTotal: 99999999999999999999 kB\nMemAvailable: 18014398509481984 kB\nMemFree: abc kB\n", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TMemoryInfo info = MemInfo(c.text);
        EXPECT_EQ(info.TotalBytes, c.total);
        EXPECT_EQ(info.AvailableBytes, c.available);
    }
}

TEST(SystemInfo, ByteSizesInBinaryUnitsWithOneDecimal) {
    const struct {
        uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 字节"},
        {1023, "1023 字节"},
        {1024, "1.0 KiB"},
        {1536, "1.5 KiB"},
        {1024 * 1024 - 1, "1.0 MiB"},  // 1023.999 KiB rounds up into the next unit
        {16303384ull * 1024, "15.5 GiB"},
        {3ull << 40, "3.0 TiB"},
        {UINT64_MAX, "16.0 EiB"},
    };
    for (const auto& c : cases) EXPECT_EQ(ByteSizeText(c.bytes), c.text) << c.bytes;
}

TEST(SystemInfo, TextsForTheAboutBox) {
    EXPECT_EQ(ProcessorText({"AMD EPYC", 8, 4}), "AMD EPYC, 4 核 8 线程");
    EXPECT_EQ(ProcessorText({"AMD EPYC", 2, 2}), "AMD EPYC, 2 核");
    EXPECT_EQ(ProcessorText({"ARMv7", 2, 0}), "ARMv7, 2 核");
    EXPECT_EQ(ProcessorText({}), "未知");
    EXPECT_EQ(MemoryText({16303384ull * 1024, 10241340ull * 1024}), "共 15.5 GiB, 可用 9.8 GiB");
    EXPECT_EQ(MemoryText({2048, 0}), "共 2.0 KiB");
    EXPECT_EQ(MemoryText({}), "未知");
}

TEST(SystemInfo, ThisMachineIsDescribed) {
    const TProcessorInfo cpu = ReadProcessorInfo();
    EXPECT_FALSE(cpu.Model.empty());
    EXPECT_GT(cpu.Threads, 0u);
    const TMemoryInfo memory = ReadMemoryInfo();
    EXPECT_GT(memory.TotalBytes, 0u);
    EXPECT_LE(memory.AvailableBytes, memory.TotalBytes);
}
