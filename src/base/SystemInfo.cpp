#include "base/SystemInfo.h"

#include "base/Errors.h"
#include "base/Language.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cinttypes>
#include <fstream>
#include <set>
#include <string_view>
#include <utility>

namespace pictavo {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// "key<blanks>: value" split into the trimmed key and value; false for a line without ':'.
bool SplitField(std::string_view line, std::string_view& key, std::string_view& value) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    key = Trim(line.substr(0, colon));
    value = Trim(line.substr(colon + 1));
    return true;
}

// The leading decimal number of a text; false when it does not begin with one or it overflows.
bool LeadingNumber(std::string_view s, uint64_t& value) {
    const auto [end, err] = std::from_chars(s.data(), s.data() + s.size(), value);
    return err == std::errc() && end != s.data();
}

// Runs of blanks made one space (model names are often padded inside).
std::string CollapseBlanks(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (IsBlank(c)) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

// Fields naming the processor's model, best first: x86, MIPS, older ARM, PowerPC, RISC-V.
constexpr std::array<std::string_view, 5> kModelKeys = {"model name", "cpu model", "Processor", "cpu", "uarch"};

}  // namespace

TProcessorInfo ParseCpuInfo(std::istream& text) {
    TProcessorInfo info;
    size_t modelRank = kModelKeys.size();
    std::set<std::pair<uint64_t, uint64_t>> cores;
    uint64_t physicalId = 0;
    std::string line;
    while (std::getline(text, line)) {
        std::string_view key, value;
        if (!SplitField(line, key, value)) continue;
        uint64_t number = 0;
        if (key == "processor" && LeadingNumber(value, number)) {
            ++info.Threads;
            physicalId = 0;
        } else if (key == "physical id" && LeadingNumber(value, number)) {
            physicalId = number;
        } else if (key == "core id" && LeadingNumber(value, number)) {
            cores.emplace(physicalId, number);
        } else if (!value.empty()) {
            for (size_t rank = 0; rank < modelRank; ++rank) {
                if (key == kModelKeys[rank]) {
                    info.Model = CollapseBlanks(value);
                    modelRank = rank;
                    break;
                }
            }
        }
    }
    info.Cores = static_cast<unsigned>(cores.size());
    return info;
}

TMemoryInfo ParseMemInfo(std::istream& text) {
    uint64_t total = 0, available = 0, free = 0, buffers = 0, cached = 0;
    bool haveAvailable = false;
    std::string line;
    while (std::getline(text, line)) {
        std::string_view key, value;
        uint64_t number = 0;
        if (!SplitField(line, key, value) || !LeadingNumber(value, number)) continue;
        // Values are in KiB ("kB"); one too large to be a byte count is not a size at all.
        if (number > UINT64_MAX / 1024) continue;
        number *= 1024;
        if (key == "MemTotal")
            total = number;
        else if (key == "MemAvailable")
            available = number, haveAvailable = true;
        else if (key == "MemFree")
            free = number;
        else if (key == "Buffers")
            buffers = number;
        else if (key == "Cached")
            cached = number;
    }
    TMemoryInfo info;
    info.TotalBytes = total;
    info.AvailableBytes = haveAvailable ? available : free + buffers + cached;
    if (info.AvailableBytes > total) info.AvailableBytes = total;
    return info;
}

TProcessorInfo ReadProcessorInfo() {
    std::ifstream text("/proc/cpuinfo");
    TProcessorInfo info = ParseCpuInfo(text);
    if (info.Threads == 0) {
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        if (online > 0) info.Threads = static_cast<unsigned>(online);
    }
    struct utsname name;
    if (info.Model.empty() && uname(&name) == 0) info.Model = name.machine;
    return info;
}

TMemoryInfo ReadMemoryInfo() {
    std::ifstream text("/proc/meminfo");
    TMemoryInfo info = ParseMemInfo(text);
    struct sysinfo sys;
    if (info.TotalBytes == 0 && sysinfo(&sys) == 0) {
        info.TotalBytes = uint64_t{sys.totalram} * sys.mem_unit;
        info.AvailableBytes = (uint64_t{sys.freeram} + sys.bufferram) * sys.mem_unit;
    }
    return info;
}

std::string ProcessorText(const TProcessorInfo& info) {
    std::string text = info.Model.empty() ? Tr("未知") : info.Model;
    if (info.Cores && info.Threads && info.Cores != info.Threads)
        text += Format(Tr(", %u 核 %u 线程"), info.Cores, info.Threads);
    else if (const unsigned n = info.Cores ? info.Cores : info.Threads)
        text += Format(TrN(", %u 核", ", %u 核", n), n);
    return text;
}

std::string MemoryText(const TMemoryInfo& info) {
    if (info.TotalBytes == 0) return Tr("未知");
    std::string text = Format(Tr("共 %s"), ByteSizeText(info.TotalBytes).c_str());
    if (info.AvailableBytes) text += Format(Tr(", 可用 %s"), ByteSizeText(info.AvailableBytes).c_str());
    return text;
}

std::string ByteSizeText(uint64_t bytes) {
    static constexpr std::array<const char*, 6> kUnits = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024) return Format(TrN("%u 字节", "%u 字节", bytes), static_cast<unsigned>(bytes));
    size_t unit = 0;
    while (unit + 1 < kUnits.size() && bytes >> (10 * (unit + 2)) != 0) ++unit;
    const unsigned shift = static_cast<unsigned>(10 * (unit + 1));
    uint64_t whole = bytes >> shift;
    // The remainder in tenths, rounded half up; 10 * remainder stays below 2^64 (remainder < 2^60).
    const uint64_t remainder = bytes & ((uint64_t{1} << shift) - 1);
    uint64_t tenths = (remainder * 10 + (uint64_t{1} << (shift - 1))) >> shift;
    if (tenths == 10) ++whole, tenths = 0;
    if (whole == 1024 && unit + 1 < kUnits.size()) ++unit, whole = 1, tenths = 0;
    return Format("%" PRIu64 ".%" PRIu64 " %s", whole, tenths, kUnits[unit]);
}

}  // namespace pictavo
