// The writer's steps: open, read the header, make room, write the record, write the header, close (which writes
// the header once more). See writer.h for the lock protocol.
#include "store/writer.h"

#include <algorithm>
#include <cstddef>

namespace zephlog::store {
namespace {

// The locked-file library's open arguments: read and write raw bytes, create the file when it is missing, 0600
// for its owner (the group gets the same, see platform.h), and a 41 ms pause between attempts for at most
// 1000 ms while the system is short of resources.
constexpr const char *open_mode = "RWBC";
constexpr int create_permissions = 384;
constexpr int retry_pause_ms = 41;
constexpr int retry_limit_ms = 1000;

constexpr int from_start = 0;

// The header the store works from: the file's, unless the file has none (new, shorter than a header, or the
// seek failed) or it holds a field above 999. Either way the ring starts empty at slot 0.
log_header read_header(const platform::locked_file_ops &ops, platform::cc_file *file) {
    header_bytes bytes{};
    if (ops.seek(file, 0, from_start) != 0 || ops.read(bytes.data(), header_size, 1, file) != 1) return {};
    const log_header header = decode_header(bytes);
    return header_in_range(header) ? header : log_header{};
}

void write_header(const platform::locked_file_ops &ops, platform::cc_file *file, const log_header &header) {
    const header_bytes bytes = encode_header(header);
    if (ops.seek(file, 0, from_start) == 0) ops.write(bytes.data(), header_size, 1, file);
}

// The record goes into next_slot; the slot advances even when the seek failed, so the ring stays consistent
// with the header that is written next.
void write_record(const platform::locked_file_ops &ops, platform::cc_file *file, log_header &header,
                  const log_record &record) {
    const record_bytes bytes = encode_record(record);
    if (ops.seek(file, static_cast<long>(slot_offset(header.next_slot)), from_start) >= 0) {
        ops.write(bytes.data(), record_size, 1, file);
    }
    header.next_slot = next_slot_after(header.next_slot);
}

}  // namespace

log_destination system_log() { return {&platform::system_file_ops, ZEPHLOG_LOG_PATH}; }

log_record make_record(std::int32_t entry_time, int entry_type, std::uint16_t error_number,
                       std::span<const std::string_view> lines) {
    lines = lines.first(std::min(lines.size(), std::size_t{line_slots}));
    log_record record;
    record.entry_time = entry_time;
    record.entry_type = static_cast<std::int8_t>(entry_type & 0xFF);
    record.line_count = static_cast<std::uint8_t>(lines.size());
    record.error_number = error_number;
    for (std::size_t i = 0; i < lines.size(); ++i) set_line(record, static_cast<int>(i), lines[i]);
    return record;
}

bool store_record(const log_destination &destination, const log_record &record) {
    const platform::locked_file_ops &ops = *destination.ops;
    platform::cc_file *file =
        ops.open(destination.path, open_mode, create_permissions, retry_pause_ms, retry_limit_ms);
    if (file == nullptr) return false;
    log_header header = read_header(ops, file);
    make_room(header);
    write_record(ops, file, header, record);
    write_header(ops, file, header);
    // The close step writes the header once more: a header write whose seek failed gets a second attempt.
    write_header(ops, file, header);
    ops.close(file);
    return true;
}

}  // namespace zephlog::store
