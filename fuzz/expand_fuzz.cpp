// Any template against the nine fields: the expander must neither crash nor read past them.
#include "platform/platform.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const std::array<std::string_view, 9> fields{"26", "12", "11", "07", "38", "26", "P", "00042",
                                                        "ERROR    "};
    const std::string_view tmpl(reinterpret_cast<const char *>(data), size);
    std::string out;
    if (zephlog::platform::expand_inserts(tmpl, fields, out) && out.empty()) std::abort();
    return 0;
}
