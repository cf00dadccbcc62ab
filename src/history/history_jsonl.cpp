#include <nlohmann/json.hpp>

#include "history/history_columns.h"
#include "history/history_formats.h"
#include "history/history_time.h"

namespace kivota {

std::string szHistoryJsonLines(const std::vector<HistoryRun>& runs) {
    std::string lines;
    for (const HistoryRun& run : runs) {
        // Ordered: the object reads in the order of the columns.
        nlohmann::ordered_json object;
        object["id"] = run.id;
        for (const HistoryColumn& c : historyColumns()) {
            const HistoryValue value = c.get(run);
            auto& slot = object[nlohmann::ordered_json::json_pointer(c.jsonPointer)];
            if (const auto* integer = std::get_if<std::int64_t>(&value)) {
                slot = *integer;
            } else if (const auto* real = std::get_if<double>(&value)) {
                slot = *real;  // a value that is not finite is written as null
            } else if (const auto* text = std::get_if<std::string>(&value)) {
                slot = *text;
            } else {
                slot = nullptr;
            }
            if (c.name == "time_utc") object["time_local"] = szRunLocalTime(run);
        }
        // Text that is not UTF-8 (an error text from elsewhere) gets replacement characters
        // instead of ending the listing.
        lines += object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
        lines += '\n';
    }
    return lines;
}

}  // namespace kivota
