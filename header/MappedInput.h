// The input file's data section mapped read-only, the copies of its words that are changed, and
// memory mapped for large buffers. Words are read from the file itself, with pread, whenever they
// are copied out of a mapping.
#ifndef TESSOLD_MAPPEDINPUT_H
#define TESSOLD_MAPPEDINPUT_H

#include <cstddef>
#include <stdexcept>

// Thrown when the input file no longer holds words it held when it was checked: another
// process cut it short during the conversion.
class InputChanged : public std::runtime_error
{
public:
    InputChanged() : std::runtime_error("the input file changed while it was being converted") {}
};

// Records that px_data, i_words words at byte i_file_offset of the open file i_fd, lies in the
// mapping px_map of i_map_bytes; the mapping and the descriptor then belong to the registry.
void RegisterMapping(const int* px_data, void* px_map, size_t i_map_bytes, int i_fd, long long i_file_offset,
                     long long i_words);

// Unmaps the buffer px_data and closes its file; false when px_data is no mapped buffer.
bool ReleaseMapping(const int* px_data);

// Finds where i_count words from px_words, a place inside a mapped buffer, lie in the file: the
// descriptor of the file (open as long as the buffer is) and the byte offset. False when the
// words do not lie wholly inside a mapped buffer.
bool MappedFileRange(const int* px_words, long long i_count, int& i_fd, long long& i_offset);

// Copies i_count words that lie in a mapped buffer out of it: reads them from the file into
// memory that lives as long as the buffer, and returns the copy. Words outside every mapped
// buffer are returned as they are. Throws InputChanged when the file no longer holds them.
int* CopyOutOfMapping(int* px_words, long long i_count);

// Memory for i_count words, mapped with its pages present (huge pages from 2 MiB up): faulting
// fresh pages in one by one costs several times as much on virtual machines, where every fault
// leaves the guest. Throws std::bad_alloc when the memory cannot be mapped.
class MappedWords
{
public:
    explicit MappedWords(long long i_count);
    ~MappedWords();
    MappedWords(const MappedWords&) = delete;
    MappedWords& operator=(const MappedWords&) = delete;
    int* Words() const { return static_cast<int*>(px_words); }

private:
    size_t i_bytes;
    void* px_words;
};

// Asks for huge pages for the whole huge pages inside i_bytes of allocated memory at px_memory
// (see MappedWords): for a large buffer that is written once, page after page.
void AdviseHugePages(void* px_memory, size_t i_bytes);

// Reads i_bytes at byte i_offset of the open file in full; false on an error or a short file.
bool ReadAt(int i_fd, void* px_target, size_t i_bytes, long long i_offset);

#endif
