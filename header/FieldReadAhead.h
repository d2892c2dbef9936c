// Reads the words of the fields the writer is about to write, in the writer's order, from the
// input file into a small ring of buffers, on a thread of its own for large conversions.
//
// Reading a mapped file word by word costs several times what reading it with pread into a
// buffer that stays in the cache does, and for large conversions a second thread overlaps the
// reading with the writing. Words in no mapped file (packing's copies among them) are handed
// out where they lie; requests too large for the ring are read on the caller's thread.
#ifndef TESSOLD_FIELDREADAHEAD_H
#define TESSOLD_FIELDREADAHEAD_H

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "MappedInput.h"

// A field's words as the writer asks for them: where they lie in memory, and how many.
struct FieldWords
{
    const int* px_words;
    long long i_count;
};

// The fewest words worth a reader thread and a ring of several buffers (16 MiB unless changed).
// Below it, each field is read when it is asked for, into one buffer: the ring is memory that
// each batch child faults in afresh, and for small files that costs more than the thread saves.
// Tests lower it to run small files through the thread.
void SetReadAheadMinimum(long long i_words);
long long ReadAheadMinimum();

class FieldReadAhead
{
public:
    // x_order: the requests Words will get, in order. With b_threaded false, or below the
    // minimum, each field is read when it is asked for, on the caller's thread.
    explicit FieldReadAhead(const std::vector<FieldWords>& x_order, bool b_threaded = true);
    ~FieldReadAhead();
    FieldReadAhead(const FieldReadAhead&) = delete;
    FieldReadAhead& operator=(const FieldReadAhead&) = delete;

    // The words of the request x_words: a copy read from the file when x_words is the next
    // request read ahead or lies in a mapped file, otherwise x_words.px_words itself. Valid
    // until the next call. Throws InputChanged when the file no longer holds the words.
    const int* Words(const FieldWords& x_words);

    // Whether a thread reads ahead (false for small conversions, when nothing is read from the
    // file, or when no thread could start).
    bool Threaded() const { return x_reader.joinable(); }
    // How many requests are read ahead (the others are read when asked for, or handed out
    // where they lie).
    size_t ReadAheadCount() const { return x_jobs.size(); }

private:
    // A field read ahead: where its words lie in the file, and where in its group's slot.
    struct Job
    {
        FieldWords x_words;
        int i_fd;
        long long i_offset;
        size_t i_group;
        size_t i_slot_offset;
    };

    void ReadGroups();
    void ReadGroup(size_t i_group);
    int* Slot(size_t i_group) const;
    void Release(size_t i_groups);
    const int* Unread(const FieldWords& x_words);

    // Jobs are read in groups that fill one slot, so that small fields cost one hand-over
    // between the threads per group rather than one each.
    std::vector<Job> x_jobs;
    std::vector<size_t> x_group_ends;  // one past each group's last job
    std::unique_ptr<MappedWords> px_ring;  // i_slots * i_slot_words words
    size_t i_slot_words = 0;
    size_t i_slots = 0;
    std::vector<char> x_read_ok;  // per job, written before its group counts as read
    std::vector<int> x_unread;    // the last request in a mapped file that was not read ahead

    std::mutex x_mutex;
    std::condition_variable x_changed;
    size_t i_groups_read = 0;      // groups read into the ring
    size_t i_groups_released = 0;  // groups whose slot the writer is done with
    size_t i_handed = 0;           // jobs handed to the writer
    bool b_stop = false;
    bool b_reader_waiting = false;  // for a free slot
    bool b_writer_waiting = false;  // for a group to be read
    std::thread x_reader;
};

#endif
