// Listing throughput: a generated default-layout listing of one million lines
// read and parsed into remote cache lines; the same count of mixed layouts that
// the default host type recognises (DOS, ISO dates, localized months, groups
// with blanks, devices) and of machine listing (MLSD) lines; and 100,000 pane
// rows sorted by every column in both directions.
//
// Usage: bench_listing [lines=1000000] [rows=100000]
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "listing/ListingConsumer.h"
#include "listing/PaneSort.h"
#include "listing/RemoteListing.h"

namespace tarnwick {
namespace {

constexpr double kParseGoalLinesPerSecond = 2'000'000.0;
constexpr double kSortGoalSeconds = 0.2;
constexpr int kRepeats = 3;
constexpr TStartDate kBenchDay{2026, 12, 8};

// The CPU time of this thread: on a busy machine the wall time also counts other programs.
double CpuSeconds() {
    struct timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A listing as a UNIX server writes it: files, directories and links, names
// with blanks and UTF-8, dates with a time or a year.
std::string MakeListing(std::size_t lines) {
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::mt19937 random(42);
    std::string text;
    text.reserve(lines * 72);
    char line[256];
    for (std::size_t i = 0; i < lines; ++i) {
        const unsigned pick = random();
        const char* month = kMonths[pick % 12];
        const unsigned day = 1 + (pick >> 4) % 28;
        char when[16];
        if (pick & 0x100) {
            std::snprintf(when, sizeof when, "%02u:%02u", (pick >> 9) % 24, (pick >> 14) % 60);
        } else {
            std::snprintf(when, sizeof when, " %u", 1990 + (pick >> 9) % 36);
        }
        int length = 0;
        switch ((pick >> 20) % 8) {
            case 0:
                length = std::snprintf(line, sizeof line,
                                       "drwxr-xr-x    2 1000     1000         4096 %s %2u %5s "
                                       "folder %zu\r\n",
                                       month, day, when, i);
                break;
            case 1:
                length = std::snprintf(line, sizeof line,
                                       "lrwxrwxrwx    1 owner    group          11 %s %2u %5s "
                                       "link%zu -> target.%zu\r\n",
                                       month, day, when, i, i);
                break;
            case 2:
                length = std::snprintf(line, sizeof line,
                                       "-rw-r--r--    1 owner    group    %10u %s %2u %5s "
                                       "n\xC3\xA6ve caf\xC3\xA9 %zu.txt\r\n",
                                       pick, month, day, when, i);
                break;
            default:
                length = std::snprintf(line, sizeof line,
                                       "-rw-r--r--    1 owner    group    %10u %s %2u %5s "
                                       "file_%zu.dat\r\n",
                                       pick % 100000000, month, day, when, i);
                break;
        }
        text.append(line, static_cast<std::size_t>(length));
    }
    return text;
}

// Lines of the layouts the default host type recognises, with one in four a line the
// default layout reads by itself.
std::string MakeMixedListing(std::size_t lines) {
    static const char* kForeignMonths[] = {"Mär", "Okt", "févr.", "août", "ene", "dic",
                                           "gen", "ott", "mrt",   "mei",  "out", "Sept"};
    std::mt19937 random(43);
    std::string text;
    text.reserve(lines * 72);
    char line[256];
    for (std::size_t i = 0; i < lines; ++i) {
        const unsigned pick = random();
        const unsigned day = 1 + (pick >> 4) % 28;
        const unsigned month = 1 + (pick >> 9) % 12;
        const unsigned year = 1990 + (pick >> 13) % 36;
        int length = 0;
        switch ((pick >> 20) % 8) {
            case 0:
                length = std::snprintf(line, sizeof line,
                                       "%02u-%02u-%02u  %02u:%02uPM       <DIR>          "
                                       "folder %zu\r\n",
                                       month, day, year % 100, 1 + (pick >> 3) % 12,
                                       (pick >> 7) % 60, i);
                break;
            case 1:
                length = std::snprintf(
                    line, sizeof line, "%02u-%02u-%u  %02u:%02u           %10u file %zu.txt\r\n",
                    month, day, year, (pick >> 3) % 24, (pick >> 7) % 60, pick % 100000000, i);
                break;
            case 2:
                length = std::snprintf(line, sizeof line,
                                       "-rw-r--r-- 1 owner group %10u %u-%02u-%02u %02u:%02u "
                                       "iso_%zu.dat\r\n",
                                       pick % 100000000, year, month, day, (pick >> 3) % 24,
                                       (pick >> 7) % 60, i);
                break;
            case 3:
            case 4:
                length = std::snprintf(line, sizeof line,
                                       "-rw-r--r-- 1 owner group %10u %s %2u %u "
                                       "n\xC3\xA6ve %zu.txt\r\n",
                                       pick % 100000000, kForeignMonths[pick % 12], day, year, i);
                break;
            case 5:
                length = std::snprintf(line, sizeof line,
                                       "-rw-r--r-- 1 owner Domain Users %10u Jan %2u %u "
                                       "shared_%zu.doc\r\n",
                                       pick % 100000000, day, year, i);
                break;
            default:
                length = std::snprintf(line, sizeof line,
                                       "-rw-r--r--    1 owner    group    %10u Mar %2u %u "
                                       "file_%zu.dat\r\n",
                                       pick % 100000000, day, year, i);
                break;
        }
        text.append(line, static_cast<std::size_t>(length));
    }
    return text;
}

// MLSD lines as servers send them: files, directories and links with their facts.
std::string MakeMachineListing(std::size_t lines) {
    std::mt19937 random(44);
    std::string text;
    text.reserve(lines * 96);
    char line[256];
    for (std::size_t i = 0; i < lines; ++i) {
        const unsigned pick = random();
        const unsigned day = 1 + (pick >> 4) % 28;
        const unsigned month = 1 + (pick >> 9) % 12;
        const unsigned year = 1990 + (pick >> 13) % 36;
        const char* type = (pick >> 20) % 8 == 0   ? "dir"
                           : (pick >> 20) % 8 == 1 ? "OS.unix=symlink"
                                                   : "file";
        const int length =
            std::snprintf(line, sizeof line,
                          "modify=%u%02u%02u%02u%02u%02u;perm=adfrw;size=%u;type=%s;unique=801g%x;"
                          "unix.mode=0644; name %zu.txt\r\n",
                          year, month, day, (pick >> 3) % 24, (pick >> 7) % 60, (pick >> 11) % 60,
                          pick % 100000000, type, pick, i);
        text.append(line, static_cast<std::size_t>(length));
    }
    return text;
}

// Parses a generated listing into cache lines in memory, best of the repeats.
void BenchLayout(const char* what, const std::string& text, std::size_t lines,
                 const TListingParser& parser) {
    TRemoteListing cache;
    double best = 1e9;
    double bestCpu = 1e9;
    for (int run = 0; run < kRepeats; ++run) {
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        FillRemoteListing(text, parser, cache);
        best = std::min(best, SecondsSince(start));
        bestCpu = std::min(bestCpu, CpuSeconds() - cpu);
    }
    const double rate = static_cast<double>(lines) / best;
    std::printf(
        "%s: %zu lines (%zu entries) in %.3f s, %.3f s CPU (%.2f M lines/s, %.2f M per "
        "CPU second), goal %.1f M lines/s: %s\n",
        what, lines, cache.size(), best, bestCpu, rate / 1e6,
        static_cast<double>(lines) / bestCpu / 1e6, kParseGoalLinesPerSecond / 1e6,
        rate >= kParseGoalLinesPerSecond ? "met" : "MISSED");
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

void BenchParse(std::size_t lines, TRemoteListing& cache) {
    char path[] = "/tmp/tarnwick-bench-listing-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        std::perror("mkstemp");
        std::exit(1);
    }
    close(fd);
    const std::string generated = MakeListing(lines);
    if (!WriteFile(path, generated)) {
        std::perror("write");
        std::exit(1);
    }
    std::printf("listing file: %zu lines, %.1f MB\n", lines, generated.size() / 1e6);

    const TListingParser parser(kDefaultAnswer, kBenchDay);
    double bestParse = 1e9;
    double bestWhole = 1e9;
    for (int run = 0; run < kRepeats; ++run) {
        const auto inMemory = std::chrono::steady_clock::now();
        FillRemoteListing(generated, parser, cache);
        bestParse = std::min(bestParse, SecondsSince(inMemory));
        const auto start = std::chrono::steady_clock::now();
        std::string error;
        FillRemoteListingFromFile(path, parser, cache, error);
        bestWhole = std::min(bestWhole, SecondsSince(start));
    }
    unlink(path);
    const double rate = static_cast<double>(lines) / bestWhole;
    std::printf("parse into cache lines: %.3f s (%.2f M lines/s)\n", bestParse,
                static_cast<double>(lines) / bestParse / 1e6);
    std::printf("read file + parse:      %.3f s (%.2f M lines/s), goal %.1f M lines/s: %s\n",
                bestWhole, rate / 1e6, kParseGoalLinesPerSecond / 1e6,
                rate >= kParseGoalLinesPerSecond ? "met" : "MISSED");
    std::printf("cache lines: %zu\n", cache.size());
}

void BenchSort(const TRemoteListing& cache, std::size_t rowCount) {
    std::vector<TPaneRow> rows;
    rows.reserve(rowCount);
    TListingEntry entry;
    for (std::size_t i = 0; i < cache.size() && rows.size() < rowCount; ++i) {
        if (ParseCacheLine(cache[i], entry)) rows.push_back(RowFromEntry(entry));
    }
    std::printf("sorting %zu rows\n", rows.size());
    std::mt19937 random(7);
    double worst = 0;
    for (int key : {1, -1, 2, -2, 3, -3, 4, -4, 5, -5}) {
        std::shuffle(rows.begin(), rows.end(), random);
        const auto start = std::chrono::steady_clock::now();
        ResortRows(rows, key);
        const double seconds = SecondsSince(start);
        worst = std::max(worst, seconds);
        std::printf("  key %2d: %.3f s\n", key, seconds);
    }
    std::printf("slowest sort: %.3f s, goal %.1f s: %s\n", worst, kSortGoalSeconds,
                worst <= kSortGoalSeconds ? "met" : "MISSED");
}

}  // namespace
}  // namespace tarnwick

int main(int argc, char** argv) {
    const std::size_t lines = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    const std::size_t rows = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 100'000;
    tarnwick::TRemoteListing cache;
    tarnwick::BenchParse(lines, cache);
    tarnwick::BenchLayout("mixed layouts, recognised", tarnwick::MakeMixedListing(lines), lines,
                          tarnwick::TListingParser(tarnwick::kDefaultAnswer, tarnwick::kBenchDay));
    tarnwick::BenchLayout("machine listing (MLSD)", tarnwick::MakeMachineListing(lines), lines,
                          tarnwick::TListingParser(tarnwick::kDefaultAnswer, tarnwick::kBenchDay,
                                                   tarnwick::TListingFormat::Machine));
    tarnwick::BenchSort(cache, rows);
    return 0;
}
