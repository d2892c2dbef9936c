// The data buffers that are read-only private mappings of the input file, and the copies of
// their words that packing changes. A mapped buffer always holds what its file holds: values are
// changed only in copies, read from the file with pread, so a file cut short after it was checked
// shows as a failed read (InputChanged) instead of a signal when its pages are touched. The
// registry is process-wide because the copies are asked for by address, from any stage.
#include "MappedInput.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <vector>

namespace {

// Room for copies of words: small ones are carved from shared blocks, so that many small
// fields need few mappings, and the blocks grow from 64 KiB to 16 MiB, so that a few small
// copies do not pay for a large block while many large ones share blocks of huge pages; a copy
// of a quarter block or more gets a mapping of its own.
class CopyArena
{
public:
    int* Allocate(long long i_count)
    {
        if (i_count >= ci_max_block_words / 4) {
            x_blocks.emplace_back(new MappedWords(i_count));
            return x_blocks.back()->Words();
        }
        if (i_free < i_count) {
            if (x_current)
                x_blocks.push_back(std::move(x_current));
            i_block_words = std::max(std::min(2 * i_block_words, ci_max_block_words), i_count);
            x_current.reset(new MappedWords(i_block_words));
            i_free = i_block_words;
        }
        int* px_words = x_current->Words() + (i_block_words - i_free);
        i_free -= i_count;
        return px_words;
    }

private:
    static constexpr long long ci_max_block_words = 4 << 20;
    std::vector<std::unique_ptr<MappedWords>> x_blocks;
    std::unique_ptr<MappedWords> x_current;
    long long i_block_words = 8 << 10;  // the first block has twice this
    long long i_free = 0;
};

// One data buffer that is a file mapping: the mapping itself, the file it came from, kept
// open so that the words can also be read from the file, and the copies taken out of it.
struct Mapping
{
    void* px_map;
    size_t i_map_bytes;
    int i_fd;
    long long i_file_offset;  // of the buffer's first word
    long long i_words;        // in the buffer
    std::unique_ptr<CopyArena> px_copies;
};

// The data buffers that are file mappings, by the buffer's first word.
std::map<const int*, Mapping>& Mappings()
{
    static std::map<const int*, Mapping> x_mappings;
    return x_mappings;
}

}  // namespace

void RegisterMapping(const int* px_data, void* px_map, size_t i_map_bytes, int i_fd, long long i_file_offset,
                     long long i_words)
{
    Mappings()[px_data] = {px_map, i_map_bytes, i_fd, i_file_offset, i_words, nullptr};
}

bool ReleaseMapping(const int* px_data)
{
    auto it_mapping = Mappings().find(px_data);
    if (it_mapping == Mappings().end())
        return false;
    munmap(it_mapping->second.px_map, it_mapping->second.i_map_bytes);
    close(it_mapping->second.i_fd);
    Mappings().erase(it_mapping);
    return true;
}

namespace {

// The mapping that holds words [px_words, px_words + i_count) wholly, and the first word's
// index in its buffer; null when there is none.
Mapping* FindMapping(const int* px_words, long long i_count, long long& i_first)
{
    auto it_after = Mappings().upper_bound(px_words);
    if (it_after == Mappings().begin() || i_count < 0)
        return nullptr;
    auto& x_entry = *std::prev(it_after);
    // Addresses are compared as numbers: the words may lie in no buffer at all.
    const uintptr_t i_start = reinterpret_cast<uintptr_t>(x_entry.first);
    const uintptr_t i_address = reinterpret_cast<uintptr_t>(px_words);
    i_first = static_cast<long long>((i_address - i_start) / sizeof(int));
    if ((i_address - i_start) % sizeof(int) != 0 || i_first > x_entry.second.i_words - i_count)
        return nullptr;
    return &x_entry.second;
}

}  // namespace

int* CopyOutOfMapping(int* px_words, long long i_count)
{
    long long i_first = 0;
    Mapping* px_mapping = FindMapping(px_words, i_count, i_first);
    if (px_mapping == nullptr || i_count <= 0)
        return px_words;
    if (!px_mapping->px_copies)
        px_mapping->px_copies.reset(new CopyArena());
    int* px_copy = px_mapping->px_copies->Allocate(i_count);
    if (!ReadAt(px_mapping->i_fd, px_copy, static_cast<size_t>(i_count) * sizeof(int),
                px_mapping->i_file_offset + 4 * i_first))
        throw InputChanged();
    return px_copy;
}

bool ReadAt(int i_fd, void* px_target, size_t i_bytes, long long i_offset)
{
    char* px_bytes = static_cast<char*>(px_target);
    while (i_bytes > 0) {
        const ssize_t i_got = pread(i_fd, px_bytes, i_bytes, static_cast<off_t>(i_offset));
        if (i_got < 0 && errno == EINTR)
            continue;
        if (i_got <= 0)
            return false;
        px_bytes += i_got;
        i_bytes -= static_cast<size_t>(i_got);
        i_offset += i_got;
    }
    return true;
}

bool MappedFileRange(const int* px_words, long long i_count, int& i_fd, long long& i_offset)
{
    long long i_first = 0;
    const Mapping* px_mapping = FindMapping(px_words, i_count, i_first);
    if (px_mapping == nullptr)
        return false;
    i_fd = px_mapping->i_fd;
    i_offset = px_mapping->i_file_offset + 4 * i_first;
    return true;
}

namespace {

const size_t ci_huge_page_bytes = size_t(2) << 20;

// The bytes to map for i_bytes: a whole number of huge pages from one huge page up, so that
// the last one is huge too.
size_t MappedBytes(size_t i_bytes)
{
    if (i_bytes < ci_huge_page_bytes)
        return i_bytes;
    return (i_bytes + ci_huge_page_bytes - 1) / ci_huge_page_bytes * ci_huge_page_bytes;
}

// Maps i_bytes of memory with its pages present. Buffers of a huge page or more ask for huge
// pages: where the host shadows the guest's page tables, the first touch of every small page
// by user code leaves the guest (scanning 2 GiB for the first time took 4.5 s here with small
// pages and 0.5 s with huge ones).
void* MapPresentMemory(size_t i_bytes)
{
    if (i_bytes < ci_huge_page_bytes)
        return mmap(nullptr, i_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    void* px_memory = mmap(nullptr, i_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (px_memory == MAP_FAILED)
        return px_memory;
    // Both are hints: without them the pages come one by one, as they are first used.
    madvise(px_memory, i_bytes, MADV_HUGEPAGE);
    madvise(px_memory, i_bytes, MADV_POPULATE_WRITE);
    return px_memory;
}

}  // namespace

void AdviseHugePages(void* px_memory, size_t i_bytes)
{
    const uintptr_t i_first = reinterpret_cast<uintptr_t>(px_memory);
    const uintptr_t i_begin = (i_first + ci_huge_page_bytes - 1) & ~(ci_huge_page_bytes - 1);
    const uintptr_t i_end = (i_first + i_bytes) & ~(ci_huge_page_bytes - 1);
    if (i_end > i_begin)
        madvise(reinterpret_cast<void*>(i_begin), i_end - i_begin, MADV_HUGEPAGE);
}

MappedWords::MappedWords(long long i_count)
    : i_bytes(MappedBytes(static_cast<size_t>(i_count) * sizeof(int))), px_words(MapPresentMemory(i_bytes))
{
    if (px_words == MAP_FAILED)
        throw std::bad_alloc();
}

MappedWords::~MappedWords()
{
    munmap(px_words, i_bytes);
}

