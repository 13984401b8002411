// How records are shown: text for people, JSON lines for programs.
#pragma once

#include "log_image.h"

#include <array>
#include <ctime>
#include <string>
#include <string_view>

namespace zephlog::tools {

// Names for the entry types 0 to 5. The log stores only the number; the names an application gave its types
// live in its own string table, so the reader takes them from the user or uses this default set.
inline constexpr std::array<const char *, 6> default_type_names{"INFO", "NOTICE", "WARNING", "ERROR", "SEVERE",
                                                                "FATAL"};

struct type_labels {
    std::array<std::string, 6> names{default_type_names[0], default_type_names[1], default_type_names[2],
                                     default_type_names[3], default_type_names[4], default_type_names[5]};

    // The name of `type`, empty when it has none.
    std::string_view name(int type) const;
    // The type that `text` names: a number 0..5 or a label, in any case. -1 when it names none.
    int type_of(std::string_view text) const;
};

enum class output_format { text, json };

// "2026-12-11 08:31:05 00042 2 WARNING   first line", further lines below the first, aligned with it.
// Control characters and bytes that are not UTF-8 are shown as \xHH so that a line cannot drive the terminal.
std::string format_text(const kept_record &entry, const type_labels &labels);

// One JSON object on one line: time (epoch seconds), iso (local time with its UTC offset), slot, type, type_name
// (when the type has a name), number, lines. Lines are UTF-8: bytes that are not are replaced by U+FFFD and the
// record then also carries lines_hex, each line's exact bytes in hexadecimal.
std::string format_json(const kept_record &entry, const type_labels &labels);

std::string format_record(const kept_record &entry, const type_labels &labels, output_format format);

// The length of the valid UTF-8 sequence that starts `text`; 0 when it starts with a byte that begins none.
std::size_t utf8_sequence_length(std::string_view text);

// `time` in local time with strftime's `pattern`.
std::string local_time_text(std::time_t time, const char *pattern);

}  // namespace zephlog::tools
