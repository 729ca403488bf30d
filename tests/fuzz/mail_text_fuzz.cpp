// libFuzzer target: the texts of the e-mail channel built from outside data. Prevention schedule
// entries (one a line) are read without a crash; a text made HTML holds no tag but "<br>", and
// every line end in it is CR LF; a report shows the text escaped.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "service/alerts/CScanAlertsEmail.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> schedule;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) schedule.push_back(line);
    std::tm now{};
    now.tm_year = 126;
    now.tm_mday = 5;
    now.tm_wday = 6;
    now.tm_hour = 12;
    (void)tarvell::InScheduleWindow(schedule, now, [](std::int64_t seconds) {
        std::tm out{};
        const std::time_t t = static_cast<std::time_t>(seconds);
        gmtime_r(&t, &out);
        return out;
    });

    const std::string html = tarvell::HtmlLineBreaks(tarvell::HtmlText(text));
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '\r' && html.compare(i, 2, "\r\n") != 0) std::abort();
        if (html[i] == '\n' && (i == 0 || html[i - 1] != '\r')) std::abort();
        if (html[i] == '<' && html.compare(i, 4, "<br>") != 0) std::abort();
    }
    tarvell::ReportRow row;
    for (auto& value : row.values) value = text;
    std::array<std::int32_t, 9> columns{};
    columns.fill(1);
    const std::string report = tarvell::ReportHtml(text, 0, {row}, columns);
    if (report.find("&nbsp;" + tarvell::HtmlText(text) + "</font>") == std::string::npos)
        std::abort();
    return 0;
}
