// Reads fields from the input file ahead of the writer, into a ring of buffers.
#include "FieldReadAhead.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "ReadUMFile.h"

namespace {

// The ring holds at most this many words in all, in at most ci_max_slots slots of at least
// ci_min_slot_words. A request larger than half the ring is not read ahead; the writer asks
// for large fields in blocks of rows, so only a single row of more than 8 MiB is one.
const size_t ci_ring_words = size_t(4) << 20;  // 16 MiB
const size_t ci_min_slot_words = size_t(64) << 10;  // 256 KiB
const size_t ci_max_slots = 4;

long long gi_read_ahead_minimum = 4 << 20;

}  // namespace

void SetReadAheadMinimum(long long i_words)
{
    gi_read_ahead_minimum = i_words;
}

long long ReadAheadMinimum()
{
    return gi_read_ahead_minimum;
}

FieldReadAhead::FieldReadAhead(const std::vector<FieldWords>& x_order, bool b_threaded)
{
    long long i_total_words = 0;
    for (const FieldWords& x_words : x_order) {
        Job x_job{x_words, -1, 0, 0, 0};
        if (x_words.px_words == nullptr || x_words.i_count <= 0 ||
            static_cast<size_t>(x_words.i_count) > ci_ring_words / 2 ||
            !MappedFileRange(x_words.px_words, x_words.i_count, x_job.i_fd, x_job.i_offset))
            continue;
        x_jobs.push_back(x_job);
        i_total_words += x_words.i_count;
        i_slot_words = std::max(i_slot_words, static_cast<size_t>(x_words.i_count));
    }
    if (x_jobs.empty())
        return;
    // A small conversion reads each group when it is asked for, into a single buffer: in a
    // batch child, every page of a ring is a page fault, which costs more than the thread saves.
    if (i_total_words < gi_read_ahead_minimum)
        b_threaded = false;
    i_slot_words = std::max(i_slot_words, ci_min_slot_words);
    i_slots = b_threaded ? std::min(ci_max_slots, ci_ring_words / i_slot_words) : 1;
    size_t i_used = 0;
    for (size_t i_job = 0; i_job < x_jobs.size(); ++i_job) {
        const size_t i_count = static_cast<size_t>(x_jobs[i_job].x_words.i_count);
        if (i_used + i_count > i_slot_words) {
            x_group_ends.push_back(i_job);
            i_used = 0;
        }
        x_jobs[i_job].i_group = x_group_ends.size();
        x_jobs[i_job].i_slot_offset = i_used;
        i_used += i_count;
    }
    x_group_ends.push_back(x_jobs.size());
    try {
        px_ring.reset(new MappedWords(static_cast<long long>(i_slots * i_slot_words)));
    } catch (const std::bad_alloc&) {
        // Without a ring every field is written from where it lies.
        x_jobs.clear();
        return;
    }
    x_read_ok.assign(x_jobs.size(), 0);
    if (!b_threaded || x_group_ends.size() < 2)
        return;
    try {
        x_reader = std::thread(&FieldReadAhead::ReadGroups, this);
    } catch (const std::system_error&) {
        // Without a thread each group is read when its first field is asked for.
    }
}

FieldReadAhead::~FieldReadAhead()
{
    if (x_reader.joinable()) {
        {
            std::lock_guard<std::mutex> x_lock(x_mutex);
            b_stop = true;
        }
        x_changed.notify_all();
        x_reader.join();
    }
}

int* FieldReadAhead::Slot(size_t i_group) const
{
    return px_ring->Words() + (i_group % i_slots) * i_slot_words;
}

void FieldReadAhead::ReadGroup(size_t i_group)
{
    const size_t i_first = i_group == 0 ? 0 : x_group_ends[i_group - 1];
    for (size_t i_job = i_first; i_job < x_group_ends[i_group]; ++i_job) {
        const Job& x_job = x_jobs[i_job];
        x_read_ok[i_job] = ReadAt(x_job.i_fd, Slot(i_group) + x_job.i_slot_offset,
                                  static_cast<size_t>(x_job.x_words.i_count) * sizeof(int), x_job.i_offset);
    }
}

void FieldReadAhead::ReadGroups()
{
    for (size_t i_group = 0; i_group < x_group_ends.size(); ++i_group) {
        {
            // A slot is free once the writer is done with the group that last used it.
            std::unique_lock<std::mutex> x_lock(x_mutex);
            b_reader_waiting = true;
            x_changed.wait(x_lock, [&] { return b_stop || i_group < i_groups_released + i_slots; });
            b_reader_waiting = false;
            if (b_stop)
                return;
        }
        ReadGroup(i_group);
        std::lock_guard<std::mutex> x_lock(x_mutex);
        i_groups_read = i_group + 1;
        if (b_writer_waiting)
            x_changed.notify_all();
    }
}

// Words that were not read ahead: a row too wide for the ring, or any request when the ring
// could not be had. Words in a mapped file are read into a buffer of their own all the same:
// touching mapped pages of a file cut short since it was checked would end the process with
// a bus error. Words in no mapped file (packing's copies) are handed out where they lie.
const int* FieldReadAhead::Unread(const FieldWords& x_words)
{
    int i_fd = -1;
    long long i_offset = 0;
    if (x_words.px_words == nullptr || x_words.i_count <= 0 ||
        !MappedFileRange(x_words.px_words, x_words.i_count, i_fd, i_offset))
        return x_words.px_words;
    x_unread.resize(static_cast<size_t>(x_words.i_count));
    if (!ReadAt(i_fd, x_unread.data(), x_unread.size() * sizeof(int), i_offset))
        throw InputChanged();
    return x_unread.data();
}

// Called with the mutex held when there is a reader. A wake-up is a system call, so only a
// waiting reader gets one.
void FieldReadAhead::Release(size_t i_groups)
{
    if (i_groups <= i_groups_released)
        return;
    i_groups_released = i_groups;
    if (b_reader_waiting)
        x_changed.notify_all();
}

const int* FieldReadAhead::Words(const FieldWords& x_words)
{
    std::unique_lock<std::mutex> x_lock(x_mutex, std::defer_lock);
    if (x_reader.joinable())
        x_lock.lock();
    // The words handed out last are no longer needed, nor are the groups before the next job's.
    const bool b_next = i_handed < x_jobs.size() && x_jobs[i_handed].x_words.px_words == x_words.px_words &&
                        x_jobs[i_handed].x_words.i_count == x_words.i_count;
    Release(i_handed < x_jobs.size() ? x_jobs[i_handed].i_group : x_group_ends.size());
    if (!b_next)
        return Unread(x_words);
    const Job& x_job = x_jobs[i_handed++];
    if (x_reader.joinable()) {
        b_writer_waiting = true;
        x_changed.wait(x_lock, [&] { return i_groups_read > x_job.i_group; });
        b_writer_waiting = false;
    } else if (i_groups_read <= x_job.i_group) {
        ReadGroup(x_job.i_group);
        i_groups_read = x_job.i_group + 1;
    }
    // The mapped words of a file cut short since it was checked cannot be read either: touching
    // them would end the process with a bus error.
    if (!x_read_ok[static_cast<size_t>(&x_job - x_jobs.data())])
        throw InputChanged();
    return Slot(x_job.i_group) + x_job.i_slot_offset;
}
