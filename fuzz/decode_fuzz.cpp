// Any bytes as a log file: the header and record decoders must give back the bytes they were given, and the
// reader (ring, verify, text and JSON output) must handle whatever the file holds without reading outside it.
#include "log_image.h"
#include "output.h"
#include "store/format.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace zephlog;

void check_round_trips(const std::uint8_t *data, std::size_t size) {
    if (size >= store::header_size) {
        const std::span<const std::uint8_t, store::header_size> bytes(data, store::header_size);
        const store::header_bytes again = store::encode_header(store::decode_header(bytes));
        if (!std::equal(again.begin(), again.end(), bytes.begin())) std::abort();
    }
    if (size >= store::record_size) {
        const std::span<const std::uint8_t, store::record_size> bytes(data, store::record_size);
        const store::log_record record = store::decode_record(bytes);
        const store::record_bytes again = store::encode_record(record);
        if (!std::equal(again.begin(), again.end(), bytes.begin())) std::abort();
        for (int i = 0; i < store::line_slots; ++i) {
            if (record.line(i).size() > store::line_text_max) std::abort();
        }
    }
}

void check_reader(const std::uint8_t *data, std::size_t size) {
    const tools::log_image image("fuzz", std::vector<std::uint8_t>(data, data + size));
    tools::verify(image);
    if (!tools::ring_faults(image).empty()) return;
    const tools::type_labels labels;
    for (const tools::kept_record &entry : tools::kept_records(image)) {
        tools::format_text(entry, labels);
        // Every JSON line must parse back, strict UTF-8 included.
        const nlohmann::json object = nlohmann::json::parse(tools::format_json(entry, labels));
        if (object.at("slot") != entry.slot) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size > store::full_file_size + 1) return 0;
    check_round_trips(data, size);
    check_reader(data, size);
    return 0;
}
