// The log file writer: one entry in, one record stored in the shared ring.
//
// Lock protocol. Every store opens the file with an exclusive lock on the whole file (cc_lock_open_ex2), reads
// the header, drops the oldest record if the ring is full, writes the record into next_slot, writes the header
// (twice: the close step repeats it) and closes the file, which ends the lock. Nothing is held between stores,
// and every store re-reads the header after its lock is granted, so stores of different processes interleave
// without overwriting each other. A waiting store waits for as long as the holder needs; it never gives up
// because others are busy.
//
// A holder that dies releases the lock with its descriptor. It leaves one of: nothing written; its record written
// into the slot past the kept ones while the header still excludes it (the next store overwrites that slot); or
// the new header already in place. Every one of them is a valid ring. A holder that is stopped (SIGSTOP, a
// debugger) keeps the lock, and the others wait until it goes on or dies.
//
// A header with a field above 999 did not come from a store: the writer treats it as an empty ring at slot 0, as
// it does a file shorter than a header, so that no write ever lands outside the 1000 slots.
#pragma once

#include "platform/platform.h"
#include "store/format.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace zephlog::store {

// Where entries are stored: the file operations and the file. The library uses system_log(); tests name their
// own files and operations.
struct log_destination {
    const platform::locked_file_ops *ops;
    const char *path;
};

// The system's file operations and the path fixed when the library was built (CMake variable ZEPHLOG_LOG_PATH).
log_destination system_log();

// The record of one entry. `lines` holds the message lines (one to three) without the prefix and without the
// inserted line-break characters; each is cut to 78 characters. Only the low byte of `entry_type` is kept.
log_record make_record(std::int32_t entry_time, int entry_type, std::uint16_t error_number,
                       std::span<const std::string_view> lines);

// Stores `record` in the ring at `destination`. Returns false, having written nothing, when the file cannot be
// opened; the caller then ends the process with the box "Error opening error log file" (the writer does not, so
// that the caller can first release what it holds). Failed seeks, reads and writes are not reported.
[[nodiscard]] bool store_record(const log_destination &destination, const log_record &record);

}  // namespace zephlog::store
