// Helpers of the store tests: a private directory per test, and the log file's bytes read back.
#pragma once

#include "compose/entry.h"
#include "store/format.h"
#include "store/writer.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace store_test {

namespace fs = std::filesystem;
using namespace zephlog::store;
using zephlog::platform::system_file_ops;

using bytes = std::vector<std::uint8_t>;

inline log_header header_in(const bytes &data) {
    EXPECT_GE(data.size(), header_size);
    if (data.size() < header_size) return {};
    return decode_header(std::span<const std::uint8_t, header_size>(data.data(), header_size));
}

inline log_record record_in(const bytes &data, std::uint16_t slot) {
    EXPECT_GE(data.size(), slot_offset(slot) + record_size) << "slot " << slot;
    if (data.size() < slot_offset(slot) + record_size) return {};
    return decode_record(std::span<const std::uint8_t, record_size>(data.data() + slot_offset(slot), record_size));
}

// The record of an entry with these lines.
inline log_record record_of(std::int32_t time, int type, std::uint16_t number,
                            std::initializer_list<std::string_view> lines) {
    return make_record(time, type, number, lines);
}

// A directory of its own for each test, so that tests may run in parallel.
class LogFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zephlog-store-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        path = (directory / "LOGFILE.DAT").string();
    }
    void TearDown() override { fs::remove_all(directory); }

    log_destination destination() const { return {&system_file_ops, path.c_str()}; }

    void store(std::int32_t time, std::initializer_list<std::string_view> lines, int type = 1,
               std::uint16_t number = 7) const {
        ASSERT_TRUE(store_record(destination(), record_of(time, type, number, lines)));
    }

    bytes contents() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void set_contents(const bytes &data) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    }

    log_header header() const { return header_in(contents()); }
    void set_header(const log_header &header) const {
        bytes data = contents();
        data.resize(std::max(data.size(), header_size));
        const header_bytes encoded = encode_header(header);
        std::copy(encoded.begin(), encoded.end(), data.begin());
        set_contents(data);
    }

    log_record record(std::uint16_t slot) const { return record_in(contents(), slot); }

    // Every kept record, oldest first, from one read of the file.
    std::vector<log_record> kept_records() const {
        const bytes data = contents();
        const log_header h = header_in(data);
        std::vector<log_record> records;
        for (std::uint16_t i = 0; i < kept_count(h); ++i) records.push_back(record_in(data, kept_slot(h, i)));
        return records;
    }

    // The first line of every kept record, oldest first.
    std::vector<std::string> kept_lines() const {
        std::vector<std::string> lines;
        for (const log_record &r : kept_records()) lines.emplace_back(r.line(0));
        return lines;
    }

    fs::path directory;
    std::string path;
};

// A logging call as the exported function makes it, into `destination`.
inline std::int32_t log_to(const log_destination &destination, int type, int number, const char *message, ...) {
    std::va_list args;
    va_start(args, message);
    const std::int32_t time = zephlog::log_entry(destination, type, number, message, args);
    va_end(args);
    return time;
}

}  // namespace store_test
