// What the About box tells of the machine: its processor and its memory, read from the
// kernel's /proc texts, and the Chinese lines that show them.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

namespace pictavo {

struct TProcessorInfo {
    // The processor's model as the kernel names it ("model name", or the field other
    // architectures use); empty when the text names none.
    std::string Model;
    // Logical processors: the "processor" entries.
    unsigned Threads = 0;
    // Physical cores: distinct (physical id, core id) pairs; 0 when the text does not say.
    unsigned Cores = 0;
};

struct TMemoryInfo {
    uint64_t TotalBytes = 0;
    // Memory available to start programs without swapping; 0 when unknown.
    uint64_t AvailableBytes = 0;
};

// The processor described by a /proc/cpuinfo text.
TProcessorInfo ParseCpuInfo(std::istream& text);
// The memory described by a /proc/meminfo text. Kernels without "MemAvailable" give the free
// memory plus buffers and page cache instead.
TMemoryInfo ParseMemInfo(std::istream& text);

// This machine's processor: /proc/cpuinfo, with the online processor count and the machine
// type (uname) where the text lacks them.
TProcessorInfo ReadProcessorInfo();
// This machine's memory: /proc/meminfo, else sysinfo(2).
TMemoryInfo ReadMemoryInfo();

// "AMD EPYC 7B13, 4 核 8 线程" ("4 核" when cores and threads agree or only one is known);
// "未知" for what is not known.
std::string ProcessorText(const TProcessorInfo& info);
// "共 15.5 GiB, 可用 9.8 GiB"; "未知" when the total is not known.
std::string MemoryText(const TMemoryInfo& info);
// A byte count in binary units with one decimal: "512 字节", "1.5 KiB", "15.5 GiB". The decimal
// point is always ".", whatever the locale.
std::string ByteSizeText(uint64_t bytes);

}  // namespace pictavo
